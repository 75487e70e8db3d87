# SPDX-License-Identifier: LGPL-2.1-or-later
"""Loading the driver library and declaring its session functions."""

from __future__ import annotations

import ctypes
import os
import sys
import threading
from typing import Optional

TEXT_MAX = 128
MESSAGE_MAX = 1024
E_ARGUMENT = 256
E_CLOSED = 257


class CDate(ctypes.Structure):
    _fields_ = [("day", ctypes.c_uint8), ("month", ctypes.c_uint8), ("year", ctypes.c_uint16)]


class CTime(ctypes.Structure):
    _fields_ = [("hour", ctypes.c_uint8), ("minute", ctypes.c_uint8), ("second", ctypes.c_uint8)]


class CStatus(ctypes.Structure):
    _fields_ = [("fatal", ctypes.c_uint8), ("status", ctypes.c_uint8), ("receipt", ctypes.c_uint8)]


class CTraceRecord(ctypes.Structure):
    _fields_ = [
        ("direction", ctypes.c_int),
        ("kind", ctypes.c_int),
        ("time_ns", ctypes.c_uint64),
        ("command", ctypes.c_int),
        ("result", ctypes.c_int),
        ("field_count", ctypes.c_size_t),
        ("fields", ctypes.POINTER(ctypes.c_char_p)),
        ("bytes", ctypes.POINTER(ctypes.c_uint8)),
        ("byte_count", ctypes.c_size_t),
        ("text", ctypes.c_char_p),
    ]


TRACE_FN = ctypes.CFUNCTYPE(None, ctypes.c_void_p, ctypes.POINTER(CTraceRecord))

_S = ctypes.c_void_p
_P = ctypes.c_char_p
_U = ctypes.c_uint
_I = ctypes.c_int
_D = ctypes.c_double
_Z = ctypes.c_size_t
_PD = ctypes.POINTER(ctypes.c_double)
_PDATE = ctypes.POINTER(CDate)
_PTIME = ctypes.POINTER(CTime)

# Argument types of every function the package calls; all return int.
_SIGNATURES = {
    "termina_open_serial": [_P, _U, _P, ctypes.POINTER(_S)],
    "termina_open_tcp": [_P, _U, _P, ctypes.POINTER(_S)],
    "termina_open_ini": [_I, ctypes.POINTER(_S)],
    "termina_close": [_S],
    "termina_set_password": [_S, _P],
    "termina_change_password": [_S, _P, _I],
    "termina_set_patience": [_S, _U],
    "termina_set_deadline": [_S, _U],
    "termina_cancel_report": [_S],
    "termina_set_trace": [_S, TRACE_FN, ctypes.c_void_p],
    "termina_code_is_driver": [_I],
    "termina_error_text": [_S, _I, _P, _Z],
    "termina_check_active": [_S, ctypes.POINTER(_I)],
    "termina_get_status": [_S, ctypes.POINTER(CStatus)],
    "termina_get_printer_status": [_S, ctypes.POINTER(ctypes.c_uint8)],
    "termina_open_receipt": [_S, _U, _U, _P, ctypes.c_uint32],
    "termina_print_string": [_S, _P],
    "termina_close_receipt": [_S],
    "termina_break_receipt": [_S],
    "termina_bar_code": [_S, _U, _U, _U, _U, _P],
    "termina_add_article": [_S, _P, _P, _D, _D, _U, _PD],
    "termina_storno_article": [_S, _P, _P, _D, _D, ctypes.c_int32, _PD],
    "termina_discount_percent": [_S, _P, _D, _PD],
    "termina_discount_total": [_S, _P, _D, _PD],
    "termina_extra_percent": [_S, _P, _D, _PD],
    "termina_extra_total": [_S, _P, _D, _PD],
    "termina_subtotal": [_S, _PD],
    "termina_payment": [_S, _U, _D, _PD],
    "termina_cash_in_out": [_S, _P, _D, _PD],
    "termina_activate_eej": [_S],
    "termina_close_eej_archive": [_S],
    "termina_x_report": [_S, _P],
    "termina_z_report": [_S, _P],
    "termina_fisc_shift_report": [_S, _U, _U, _U, _P],
    "termina_fisc_date_report": [_S, _U, _PDATE, _PDATE, _P],
    "termina_eej_journal": [_S, _U],
    "termina_get_receipt": [_S, ctypes.c_uint32],
    "termina_eej_shift_report": [_S, _U, _U, _U],
    "termina_eej_date_report": [_S, _U, _PDATE, _PDATE],
    "termina_eej_activate_report": [_S],
    "termina_eej_report": [_S, _U],
    "termina_report_finished": [_S],
    "termina_init": [_S, _PDATE, _PTIME],
    "termina_register": [_S, _P, _P, _P, _P],
    "termina_open_cash_drawer": [_S],
    "termina_write_config": [_S, _U, _U, _P],
    "termina_set_date": [_S, _PDATE, _PTIME],
    "termina_get_eej_status": [_S],
    "termina_install": [_S, _PDATE, _PTIME, _P],
    "termina_show_client_display_text": [_S, _P, _P],
    "termina_read_config": [_S, _U, _U, _P, _Z],
    "termina_get_version": [_S, ctypes.POINTER(_U)],
    "termina_get_current_shift": [_S, ctypes.POINTER(_U)],
    "termina_get_last_reg_shift": [_S, ctypes.POINTER(_U)],
    "termina_get_eej_act_data": [_S, _P, _Z],
    "termina_get_inn": [_S, _P, _Z],
    "termina_eej_reg_num": [_S, _P, _Z],
    "termina_get_reg_number": [_S, _P, _Z],
    "termina_get_fm_last_data": [_S, _P, _Z, _P, _Z],
    "termina_get_kkm_date_time": [_S, _P, _Z, _P, _Z],
    "termina_put_command": [_S, ctypes.c_void_p, _Z],
    "termina_get_receive": [_S, _I, _P, _Z, ctypes.POINTER(_Z)],
    "termina_clear_logo": [_S],
    "termina_load_logo": [_S, _P],
    "termina_read_mem_block": [_S, _U, _U, _U, ctypes.c_void_p, _Z],
    "termina_write_mem_block": [_S, _U, _U, ctypes.c_void_p, _Z],
}

_lock = threading.Lock()
_lib: Optional[ctypes.CDLL] = None


def library_name() -> str:
    """The library the package loads: ``TERMINA_LIBRARY`` when set, else the
    platform's name of the installed library."""
    override = os.environ.get("TERMINA_LIBRARY")
    if override:
        return override
    return "TERMINA-1.dll" if sys.platform == "win32" else "libtermina1.so.1"


def lib() -> ctypes.CDLL:
    """The driver library, loaded and declared on first use."""
    global _lib
    with _lock:
        if _lib is None:
            name = library_name()
            try:
                loaded = ctypes.CDLL(name)
            except OSError as e:
                raise OSError(f"cannot load the TERMINA-1 driver library {name!r}: {e}") from e
            for fn, args in _SIGNATURES.items():
                f = getattr(loaded, fn)
                f.argtypes = args
                f.restype = ctypes.c_int
            _lib = loaded
        return _lib
