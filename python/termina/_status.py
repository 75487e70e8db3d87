# SPDX-License-Identifier: LGPL-2.1-or-later
"""The register's status bytes as dataclasses with named bits."""

from __future__ import annotations

from dataclasses import dataclass


@dataclass(frozen=True)
class FatalFlags:
    """The fatal status byte: hardware and memory faults."""

    nvr_checksum: bool
    config_crc: bool
    spi: bool
    fm_crc: bool
    fm_write: bool
    not_installed: bool
    eej: bool
    eej_mismatch: bool
    raw: int

    @classmethod
    def from_byte(cls, b: int) -> "FatalFlags":
        return cls(*(bool(b & (1 << i)) for i in range(8)), raw=b)


@dataclass(frozen=True)
class StatusFlags:
    """The register's state byte."""

    no_init: bool
    non_fiscal: bool
    shift_open: bool
    shift_over_24h: bool
    eej_archive_closed: bool
    eej_not_activated: bool
    no_fm_space: bool
    wrong_fm_password: bool
    raw: int

    @classmethod
    def from_byte(cls, b: int) -> "StatusFlags":
        return cls(*(bool(b & (1 << i)) for i in range(8)), raw=b)


@dataclass(frozen=True)
class Status:
    """The answer of ``get_status``: the fatal byte, the state byte and the
    current document (type in bits 0..3, state in bits 4..7)."""

    fatal: FatalFlags
    flags: StatusFlags
    document_type: int
    document_state: int
    receipt: int

    @classmethod
    def from_bytes(cls, fatal: int, status: int, receipt: int) -> "Status":
        return cls(
            FatalFlags.from_byte(fatal),
            StatusFlags.from_byte(status),
            receipt & 0x0F,
            receipt >> 4,
            receipt,
        )


@dataclass(frozen=True)
class PrinterStatus:
    """The printer's status byte of ``get_printer_status``."""

    no_paper: bool
    cover_open: bool
    head_overheat: bool
    cutter: bool
    voltage: bool
    raw: int

    @classmethod
    def from_byte(cls, b: int) -> "PrinterStatus":
        return cls(
            no_paper=bool(b & 0x02),
            cover_open=bool(b & 0x04),
            head_overheat=bool(b & 0x08),
            cutter=bool(b & 0x10),
            voltage=bool(b & 0x20),
            raw=b,
        )
