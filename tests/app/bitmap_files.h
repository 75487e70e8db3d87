// SPDX-License-Identifier: GPL-3.0-or-later
// Small bitmap files made in the tests: whole, valid pictures (Qt can show
// them) of any size and colour depth, with their header fields open to
// spoiling.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace termina::apptest {

inline void PutLe(std::vector<uint8_t>& b, std::size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// A bottom-up bitmap of width x |height| pixels at 1 or 24 bits per pixel;
// a monochrome one holds a black frame on white.
inline std::vector<uint8_t> Bitmap(int32_t width, int32_t height, int bits = 1) {
  const int32_t rows = height < 0 ? -height : height;
  const uint32_t stride = ((static_cast<uint32_t>(width) * bits + 31) / 32) * 4;
  const uint32_t palette = bits == 1 ? 8 : 0;
  const uint32_t offset = 54 + palette;
  const uint32_t size = offset + stride * static_cast<uint32_t>(rows);
  std::vector<uint8_t> b(size, 0);
  b[0] = 'B';
  b[1] = 'M';
  PutLe(b, 2, size, 4);
  PutLe(b, 10, offset, 4);
  PutLe(b, 14, 40, 4);
  PutLe(b, 18, static_cast<uint32_t>(width), 4);
  PutLe(b, 22, static_cast<uint32_t>(height), 4);
  PutLe(b, 26, 1, 2);
  PutLe(b, 28, static_cast<uint32_t>(bits), 2);
  PutLe(b, 34, stride * static_cast<uint32_t>(rows), 4);
  if (bits == 1) {
    PutLe(b, 46, 2, 4);
    PutLe(b, 58, 0x00FFFFFF, 4);  // colour 1 white, colour 0 black
    for (int32_t y = 0; y < rows; ++y)
      for (int32_t x = 0; x < width; ++x) {
        const bool edge = x == 0 || y == 0 || x == width - 1 || y == rows - 1;
        if (!edge) b[offset + y * stride + x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
      }
  }
  return b;
}

inline std::string WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return path;
}

}  // namespace termina::apptest
