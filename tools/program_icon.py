#!/usr/bin/env python3
"""Writes icon 144 of TerminaTool for Windows: the register mark (a receipt
leaving a printer slot) at 16, 32 and 48 pixels, 32-bit with alpha, as an
.ico file.  The same picture the Qt side draws at run time; made at build
time so that the program file carries it as its icon resource.

    program_icon.py OUT.ico
"""
import struct
import sys

BLUE = (0x1F, 0x4E, 0x8C)
YELLOW = (0xF2, 0xA9, 0x00)
WHITE = (0xFF, 0xFF, 0xFF)


def shape_at(x, y):
    """The colour of the mark at (x, y) in a 16 x 16 square, or None."""
    # The yellow lamp on the printer's body.
    if (x - 12.5) ** 2 + (y - 12.5) ** 2 <= 1.2 ** 2:
        return YELLOW
    # The receipt: white with a blue edge and three printed lines.
    if 4 <= x <= 12 and 1 <= y <= 9:
        edge = 0.6
        if x < 4 + edge or x > 12 - edge or y < 1 + edge or y > 9 - edge:
            return BLUE
        for i in range(3):
            line = 1 + 2 + 1.8 * i
            if 5.5 <= x <= 10.5 and abs(y - line) <= 0.3:
                return BLUE
        return WHITE
    # The printer's body, a rounded rectangle.
    if 1 <= x <= 15 and 7 <= y <= 15:
        r = 1.5
        cx = min(max(x, 1 + r), 15 - r)
        cy = min(max(y, 7 + r), 15 - r)
        if (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
            return BLUE
    return None


def render(size, samples=4):
    """BGRA rows, bottom-up, as a DIB wants them."""
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0]
            covered = 0
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * 16 / size
                    y = (py + (sy + 0.5) / samples) * 16 / size
                    c = shape_at(x, y)
                    if c:
                        covered += 1
                        for i in range(3):
                            acc[i] += c[i]
            n = samples * samples
            if covered:
                r, g, b = (round(a / covered) for a in acc)
                row += bytes((b, g, r, round(255 * covered / n)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(reversed(rows))


def icon_image(size):
    pixels = render(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(pixels), 0, 0, 0, 0)
    mask_row = ((size + 31) // 32) * 4
    return header + pixels + bytes(mask_row * size)


def main(argv):
    if len(argv) != 1:
        print(__doc__, file=sys.stderr)
        return 2
    sizes = (16, 32, 48)
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for size, image in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(argv[0], "wb") as f:
        f.write(out + b"".join(images))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
