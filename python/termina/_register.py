# SPDX-License-Identifier: LGPL-2.1-or-later
"""The register object: one driver session and its commands."""

from __future__ import annotations

import ctypes
import datetime
import math
import threading
from dataclasses import dataclass
from types import TracebackType
from typing import Callable, Optional, Tuple, Type

from . import _lib
from ._errors import LinkError, RegisterError, TerminaError
from ._status import PrinterStatus, Status

# Character limits of the texts sent to the register.
TEXT_CHARS = 40
NAME_CHARS = 20
PASSWORD_CHARS = 10
NUMBER_CHARS = 12
LINK_PASSWORD_CHARS = 59

SPEEDS = (0, 2400, 4800, 9600, 19200, 38400, 57600, 115200)

_DIRECTIONS = ("out", "in", "note")
_KINDS = ("frame", "enq", "ack", "can", "raw", "silence", "failure")


@dataclass(frozen=True)
class TraceRecord:
    """One frame, control byte or event of the exchange.

    ``direction`` is "out", "in" or "note"; ``kind`` one of "frame", "enq",
    "ack", "can", "raw", "silence", "failure"; ``time`` seconds since the
    register object was opened; ``command`` the frame's command code and
    ``result`` a reply's or a failure's code (None when there is none);
    ``fields`` the frame's fields as text; ``data`` the bytes on the line;
    ``text`` the event as one readable line, as ``TERMINA_TRACE`` writes it.
    """

    direction: str
    kind: str
    time: float
    command: Optional[int]
    result: Optional[int]
    fields: Tuple[str, ...]
    data: bytes
    text: str


TraceFn = Callable[[TraceRecord], None]


# ---- Argument checks: every one runs before anything is sent ----------------


def _text(value: object, name: str, limit: int) -> bytes:
    if not isinstance(value, str):
        raise TypeError(f"{name} must be str, not {type(value).__name__}")
    if len(value) > limit:
        raise ValueError(f"{name} holds {len(value)} characters, at most {limit} fit")
    if any(ord(c) < 32 or ord(c) == 127 for c in value):
        raise ValueError(f"{name} holds a control character")
    try:
        value.encode("cp866")
    except UnicodeEncodeError as e:
        raise ValueError(f"{name}: {value[e.start]!r} cannot be printed by the register") from None
    return value.encode("utf-8")


def _uint(value: object, name: str, lo: int, hi: int) -> int:
    if isinstance(value, bool) or not isinstance(value, int):
        raise TypeError(f"{name} must be int, not {type(value).__name__}")
    if not lo <= value <= hi:
        raise ValueError(f"{name} must be within {lo}..{hi}, not {value}")
    return value


def _number(value: object, name: str) -> float:
    if isinstance(value, bool) or not isinstance(value, (int, float)):
        raise TypeError(f"{name} must be a number, not {type(value).__name__}")
    f = float(value)
    if not math.isfinite(f):
        raise ValueError(f"{name} must be finite")
    return f


def _date(value: object, name: str) -> _lib.CDate:
    if isinstance(value, datetime.datetime) or not isinstance(value, datetime.date):
        raise TypeError(f"{name} must be datetime.date, not {type(value).__name__}")
    if not 2000 <= value.year <= 2099:
        raise ValueError(f"{name}: the register keeps years 2000..2099, not {value.year}")
    return _lib.CDate(value.day, value.month, value.year)


def _time(value: object, name: str) -> _lib.CTime:
    if not isinstance(value, datetime.time):
        raise TypeError(f"{name} must be datetime.time, not {type(value).__name__}")
    return _lib.CTime(value.hour, value.minute, value.second)


def _parse_date(text: str) -> datetime.date:
    # The register gives dates as DDMMYY.
    if len(text) != 6 or not text.isdigit():
        raise ValueError(f"the register gave an unreadable date {text!r}")
    return datetime.date(2000 + int(text[4:6]), int(text[2:4]), int(text[0:2]))


def _parse_time(text: str) -> datetime.time:
    # ... and times as HHMMSS.
    if len(text) != 6 or not text.isdigit():
        raise ValueError(f"the register gave an unreadable time {text!r}")
    return datetime.time(int(text[0:2]), int(text[2:4]), int(text[4:6]))


def _message(handle: Optional[int], code: int) -> str:
    buf = ctypes.create_string_buffer(_lib.MESSAGE_MAX)
    if _lib.lib().termina_error_text(handle, code, buf, len(buf)) != 0:
        return f"code {code}"
    return buf.value.decode("utf-8", "replace")


def _error(handle: Optional[int], code: int) -> TerminaError:
    text = _message(handle, code)
    if _lib.lib().termina_code_is_driver(code):
        return LinkError(code, text)
    return RegisterError(code, text)


def _check_open(code: int, out: ctypes.c_void_p) -> None:
    if code == _lib.E_ARGUMENT:
        raise ValueError(_message(None, code))
    if code != 0:
        raise _error(None, code)


# ---- Opening ------------------------------------------------------------------


def _password(password: Optional[str]) -> Optional[bytes]:
    return None if password is None else _text(password, "password", LINK_PASSWORD_CHARS)


def open_serial(device: str, speed: int = 19200, password: Optional[str] = None,
                trace: Optional[TraceFn] = None) -> "Register":
    """Opens the register on a serial line (a device path or "COM<n>") at one
    of the register's speeds.  ``password`` is the data-exchange password
    (None: the default).  Raises LinkError when the register does not
    answer."""
    dev = _text(device, "device", 4096)
    if _uint(speed, "speed", 0, 115200) not in SPEEDS:
        raise ValueError(f"speed must be one of {SPEEDS[1:]}, not {speed}")
    pw = _password(password)
    _check_callable(trace)
    out = ctypes.c_void_p()
    _check_open(_lib.lib().termina_open_serial(dev, speed, pw, ctypes.byref(out)), out)
    return Register(out.value, trace)


def open_tcp(host: str, port: int, password: Optional[str] = None,
             trace: Optional[TraceFn] = None) -> "Register":
    """Opens the register behind a TCP gateway at host:port."""
    h = _text(host, "host", 255)
    _uint(port, "port", 1, 65535)
    pw = _password(password)
    _check_callable(trace)
    out = ctypes.c_void_p()
    _check_open(_lib.lib().termina_open_tcp(h, port, pw, ctypes.byref(out)), out)
    return Register(out.value, trace)


def open_from_ini(force_serial: bool = False, trace: Optional[TraceFn] = None) -> "Register":
    """Opens the connection the driver's INI file describes, as the driver's
    own port check does (``force_serial``: ignore its TCP mode)."""
    if not isinstance(force_serial, bool):
        raise TypeError("force_serial must be bool")
    _check_callable(trace)
    out = ctypes.c_void_p()
    _check_open(_lib.lib().termina_open_ini(int(force_serial), ctypes.byref(out)), out)
    return Register(out.value, trace)


def _check_callable(trace: object) -> None:
    if trace is not None and not callable(trace):
        raise TypeError("trace must be callable or None")


# ---- The register ---------------------------------------------------------------


class Register:
    """One open register.  Use it as a context manager, or call ``close()``.

    Calls from several threads are serialised by the driver; ``cancel_report``
    may be called from another thread while a report call waits.  Every
    failed command raises RegisterError (the register refused it) or
    LinkError (the driver failed it); bad arguments raise TypeError or
    ValueError before anything is sent.
    """

    def __init__(self, handle: Optional[int], trace: Optional[TraceFn] = None) -> None:
        self._h: Optional[int] = handle
        self._guard = threading.Lock()
        self._trace: Optional[TraceFn] = None
        self._trace_c: Optional[object] = None
        self._trace_failure = threading.local()
        if trace is not None:
            self.set_trace(trace)

    # -- lifetime
    def __enter__(self) -> "Register":
        return self

    def __exit__(self, et: Optional[Type[BaseException]], ev: Optional[BaseException],
                 tb: Optional[TracebackType]) -> None:
        self.close()

    def __del__(self) -> None:
        try:
            self.close()
        except Exception:
            pass

    @property
    def closed(self) -> bool:
        """True once the register object was closed."""
        return self._h is None

    def close(self) -> None:
        """Closes the link; waits for a call running on another thread.
        Closing twice does nothing."""
        with self._guard:
            h, self._h = self._h, None
        if h is not None:
            _lib.lib().termina_close(h)
            self._trace_c = None

    def _handle(self) -> int:
        h = self._h
        if h is None:
            raise LinkError(_lib.E_CLOSED, _message(None, _lib.E_CLOSED))
        return h

    def _call(self, name: str, *args: object) -> None:
        h = self._handle()
        code = getattr(_lib.lib(), name)(h, *args)
        failure = getattr(self._trace_failure, "error", None)
        if failure is not None:
            self._trace_failure.error = None
            raise failure
        if code == _lib.E_ARGUMENT:
            raise ValueError(_message(h, code))
        if code != 0:
            raise _error(h, code)

    # -- session settings
    def set_trace(self, trace: Optional[TraceFn]) -> None:
        """Sets (None: removes) the callable that receives every TraceRecord
        of the exchange, on the thread making the call.  An exception the
        callable raises is raised again when the call ends."""
        _check_callable(trace)
        if trace is None:
            self._call("termina_set_trace", _lib.TRACE_FN(), None)
            self._trace = self._trace_c = None
            return
        self._trace = trace
        cfn = _lib.TRACE_FN(self._on_trace)
        self._call("termina_set_trace", cfn, None)
        self._trace_c = cfn

    def _on_trace(self, _user: object, rec_p: "ctypes._Pointer[_lib.CTraceRecord]") -> None:
        r = rec_p.contents
        fields = tuple((r.fields[i] or b"").decode("utf-8", "replace") for i in range(r.field_count))
        data = ctypes.string_at(r.bytes, r.byte_count) if r.byte_count else b""
        rec = TraceRecord(
            _DIRECTIONS[r.direction] if 0 <= r.direction < len(_DIRECTIONS) else str(r.direction),
            _KINDS[r.kind] if 0 <= r.kind < len(_KINDS) else str(r.kind),
            r.time_ns / 1e9,
            None if r.command < 0 else r.command,
            None if r.result < 0 else r.result,
            fields,
            data,
            (r.text or b"").decode("utf-8", "replace"),
        )
        trace = self._trace
        if trace is None:
            return
        try:
            trace(rec)
        except BaseException as e:  # raised again when the call returns
            if getattr(self._trace_failure, "error", None) is None:
                self._trace_failure.error = e

    def set_password(self, password: str) -> None:
        """Sets the data-exchange password of the next frames; sends nothing."""
        self._call("termina_set_password", _text(password, "password", LINK_PASSWORD_CHARS))

    def change_password(self, password: str, to_register: bool = True) -> None:
        """Changes the data-exchange password, writing it to the register
        first when ``to_register`` is set."""
        pw = _text(password, "password", LINK_PASSWORD_CHARS)
        if not isinstance(to_register, bool):
            raise TypeError("to_register must be bool")
        self._call("termina_change_password", pw, int(to_register))

    def set_patience(self, waits: int) -> None:
        """Reply patience in silent read waits (0: the driver's default)."""
        self._call("termina_set_patience", _uint(waits, "waits", 0, 0xFFFFFFFF))

    def set_deadline(self, milliseconds: int) -> None:
        """An overall limit for every later call, in ms (0: none)."""
        self._call("termina_set_deadline", _uint(milliseconds, "milliseconds", 0, 0xFFFFFFFF))

    def cancel_report(self) -> None:
        """Cancels the report a call on another thread waits for; the waiting
        call then raises the register's code."""
        code = _lib.lib().termina_cancel_report(self._handle())
        if code != 0:
            raise _error(self._h, code)

    # -- link and status
    def check_active(self) -> bool:
        """True when the register answers the presence probe."""
        active = ctypes.c_int(0)
        self._call("termina_check_active", ctypes.byref(active))
        return bool(active.value)

    def get_status(self) -> Status:
        """The register's status bytes."""
        st = _lib.CStatus()
        self._call("termina_get_status", ctypes.byref(st))
        return Status.from_bytes(st.fatal, st.status, st.receipt)

    def get_printer_status(self) -> PrinterStatus:
        """The printer's status byte."""
        b = ctypes.c_uint8(0)
        self._call("termina_get_printer_status", ctypes.byref(b))
        return PrinterStatus.from_byte(b.value)

    # -- receipts
    def open_receipt(self, receipt_type: int, department: int, operator_name: str, number: int) -> None:
        """Opens a document of ``receipt_type`` for ``department`` with the
        operator's name and the register's document ``number`` argument."""
        self._call("termina_open_receipt", _uint(receipt_type, "receipt_type", 0, 0xFFFFFFFF),
                   _uint(department, "department", 0, 0xFFFFFFFF),
                   _text(operator_name, "operator_name", NAME_CHARS), _uint(number, "number", 0, 0xFFFFFFFF))

    def print_string(self, text: str) -> None:
        """Prints a line of text in the open document."""
        self._call("termina_print_string", _text(text, "text", TEXT_CHARS))

    def close_receipt(self) -> None:
        """Closes the open document."""
        self._call("termina_close_receipt")

    def break_receipt(self) -> None:
        """Cancels the open document."""
        self._call("termina_break_receipt")

    def bar_code(self, n1: int, n2: int, n3: int, n4: int, text: str) -> None:
        """Prints a bar code with the register's four layout numbers."""
        ns = [_uint(v, f"n{i + 1}", 0, 0xFFFFFFFF) for i, v in enumerate((n1, n2, n3, n4))]
        self._call("termina_bar_code", *ns, _text(text, "text", TEXT_CHARS))

    def _figure(self, name: str, *args: object) -> float:
        result = ctypes.c_double(0)
        self._call(name, *args, ctypes.byref(result))
        return result.value

    def add_article(self, name: str, code: str, quantity: float, price: float, department: int) -> float:
        """Sells an article; returns the register's figure for the line."""
        return self._figure("termina_add_article", _text(name, "name", TEXT_CHARS), _text(code, "code", NAME_CHARS),
                            _number(quantity, "quantity"), _number(price, "price"),
                            _uint(department, "department", 0, 0xFFFFFFFF))

    def storno_article(self, name: str, code: str, quantity: float, price: float, department: int) -> float:
        """Reverses an article line; returns the register's figure."""
        return self._figure("termina_storno_article", _text(name, "name", TEXT_CHARS),
                            _text(code, "code", NAME_CHARS), _number(quantity, "quantity"),
                            _number(price, "price"), _uint(department, "department", -(2**31), 2**31 - 1))

    def discount_percent(self, name: str, value: float) -> float:
        """A discount in percent on the receipt."""
        return self._figure("termina_discount_percent", _text(name, "name", TEXT_CHARS), _number(value, "value"))

    def discount_total(self, name: str, value: float) -> float:
        """A discount as a sum on the receipt."""
        return self._figure("termina_discount_total", _text(name, "name", TEXT_CHARS), _number(value, "value"))

    def extra_percent(self, name: str, value: float) -> float:
        """A surcharge in percent on the receipt."""
        return self._figure("termina_extra_percent", _text(name, "name", TEXT_CHARS), _number(value, "value"))

    def extra_total(self, name: str, value: float) -> float:
        """A surcharge as a sum on the receipt."""
        return self._figure("termina_extra_total", _text(name, "name", TEXT_CHARS), _number(value, "value"))

    def subtotal(self) -> float:
        """The receipt's subtotal."""
        return self._figure("termina_subtotal")

    def payment(self, payment_type: int, amount: float) -> float:
        """A payment of ``payment_type``; returns the register's figure."""
        return self._figure("termina_payment", _uint(payment_type, "payment_type", 0, 0xFFFFFFFF),
                            _number(amount, "amount"))

    def cash_in_out(self, caption: str, amount: float) -> float:
        """Cash paid in (positive) or out (negative) with a caption."""
        return self._figure("termina_cash_in_out", _text(caption, "caption", TEXT_CHARS), _number(amount, "amount"))

    # -- reports and the EEJ (the long ones may be cancelled)
    def activate_eej(self) -> None:
        """Activates the electronic journal."""
        self._call("termina_activate_eej")

    def close_eej_archive(self) -> None:
        """Closes the electronic journal's archive."""
        self._call("termina_close_eej_archive")

    def x_report(self, operator_name: str) -> None:
        """Prints the X report."""
        self._call("termina_x_report", _text(operator_name, "operator_name", NAME_CHARS))

    def z_report(self, operator_name: str) -> None:
        """Prints the Z report and closes the shift."""
        self._call("termina_z_report", _text(operator_name, "operator_name", NAME_CHARS))

    def fisc_shift_report(self, report_type: int, first_shift: int, last_shift: int, password: str) -> None:
        """The fiscal memory report over a range of shifts."""
        self._call("termina_fisc_shift_report", _uint(report_type, "report_type", 0, 0xFFFFFFFF),
                   _uint(first_shift, "first_shift", 0, 0xFFFFFFFF), _uint(last_shift, "last_shift", 0, 0xFFFFFFFF),
                   _text(password, "password", PASSWORD_CHARS))

    def fisc_date_report(self, report_type: int, first: datetime.date, last: datetime.date, password: str) -> None:
        """The fiscal memory report over a range of dates."""
        a, b = _date(first, "first"), _date(last, "last")
        self._call("termina_fisc_date_report", _uint(report_type, "report_type", 0, 0xFFFFFFFF), ctypes.byref(a),
                   ctypes.byref(b), _text(password, "password", PASSWORD_CHARS))

    def eej_journal(self, shift: int) -> None:
        """Prints the electronic journal of a shift."""
        self._call("termina_eej_journal", _uint(shift, "shift", 0, 0xFFFFFFFF))

    def get_receipt(self, kpk: int) -> None:
        """Prints the journal's copy of a document by its KPK number."""
        self._call("termina_get_receipt", _uint(kpk, "kpk", 0, 0xFFFFFFFF))

    def eej_shift_report(self, report_type: int, first_shift: int, last_shift: int) -> None:
        """The journal's report over a range of shifts."""
        self._call("termina_eej_shift_report", _uint(report_type, "report_type", 0, 0xFFFFFFFF),
                   _uint(first_shift, "first_shift", 0, 0xFFFFFFFF), _uint(last_shift, "last_shift", 0, 0xFFFFFFFF))

    def eej_date_report(self, report_type: int, first: datetime.date, last: datetime.date) -> None:
        """The journal's report over a range of dates."""
        a, b = _date(first, "first"), _date(last, "last")
        self._call("termina_eej_date_report", _uint(report_type, "report_type", 0, 0xFFFFFFFF), ctypes.byref(a),
                   ctypes.byref(b))

    def eej_activate_report(self) -> None:
        """The journal's activation report."""
        self._call("termina_eej_activate_report")

    def eej_report(self, shift: int) -> None:
        """The journal's shift total report."""
        self._call("termina_eej_report", _uint(shift, "shift", 0, 0xFFFFFFFF))

    def report_finished(self) -> None:
        """Waits for the end of a report started before."""
        self._call("termina_report_finished")

    # -- service
    def init(self, date: datetime.date, time: datetime.time) -> None:
        """Initialises the register with a date and time."""
        d, t = _date(date, "date"), _time(time, "time")
        self._call("termina_init", ctypes.byref(d), ctypes.byref(t))

    def register(self, current_password: str, registration_number: str, inn: str, new_password: str) -> None:
        """Fiscal registration (or re-registration) of the register."""
        self._call("termina_register", _text(current_password, "current_password", PASSWORD_CHARS),
                   _text(registration_number, "registration_number", NUMBER_CHARS), _text(inn, "inn", NUMBER_CHARS),
                   _text(new_password, "new_password", PASSWORD_CHARS))

    def open_cash_drawer(self) -> None:
        """Opens the cash drawer."""
        self._call("termina_open_cash_drawer")

    def write_config(self, table: int, field: int, value: str) -> None:
        """Writes a setting: table, field, text."""
        self._call("termina_write_config", _uint(table, "table", 0, 0xFFFF), _uint(field, "field", 0, 0xFFFF),
                   _text(value, "value", TEXT_CHARS))

    def set_date(self, date: datetime.date, time: datetime.time) -> None:
        """Sets the register's clock."""
        d, t = _date(date, "date"), _time(time, "time")
        self._call("termina_set_date", ctypes.byref(d), ctypes.byref(t))

    def set_datetime(self, when: datetime.datetime) -> None:
        """Sets the register's clock from one datetime."""
        if not isinstance(when, datetime.datetime):
            raise TypeError("when must be datetime.datetime")
        self.set_date(when.date(), when.time())

    def get_eej_status(self) -> None:
        """Asks the journal's status; raises the code it gives."""
        self._call("termina_get_eej_status")

    def install(self, date: datetime.date, time: datetime.time, serial_number: str) -> None:
        """Installs a new fiscal module with the register's serial number."""
        d, t = _date(date, "date"), _time(time, "time")
        self._call("termina_install", ctypes.byref(d), ctypes.byref(t),
                   _text(serial_number, "serial_number", NUMBER_CHARS))

    def show_client_display_text(self, line1: str, line2: str = "") -> None:
        """Shows two lines on the customer display."""
        self._call("termina_show_client_display_text", _text(line1, "line1", NAME_CHARS),
                   _text(line2, "line2", NAME_CHARS))

    # -- queries
    def _texts(self, name: str, count: int, *args: object) -> Tuple[str, ...]:
        bufs = [ctypes.create_string_buffer(_lib.TEXT_MAX) for _ in range(count)]
        flat: list = []
        for b in bufs:
            flat += [b, len(b)]
        self._call(name, *args, *flat)
        return tuple(b.value.decode("utf-8", "replace") for b in bufs)

    def _unsigned(self, name: str) -> int:
        v = ctypes.c_uint(0)
        self._call(name, ctypes.byref(v))
        return v.value

    def read_config(self, table: int, field: int) -> str:
        """Reads a setting as text."""
        return self._texts("termina_read_config", 1, _uint(table, "table", 0, 0xFFFF),
                           _uint(field, "field", 0, 0xFFFF))[0]

    def get_version(self) -> int:
        """The register's firmware version."""
        return self._unsigned("termina_get_version")

    def get_current_shift(self) -> int:
        """The number of the current shift."""
        return self._unsigned("termina_get_current_shift")

    def get_last_reg_shift(self) -> int:
        """The shift of the last registration."""
        return self._unsigned("termina_get_last_reg_shift")

    def get_eej_act_data(self) -> str:
        """The journal's activation data."""
        return self._texts("termina_get_eej_act_data", 1)[0]

    def get_inn(self) -> str:
        """The owner's taxpayer number (INN)."""
        return self._texts("termina_get_inn", 1)[0]

    def eej_reg_num(self) -> str:
        """The registration number the journal holds."""
        return self._texts("termina_eej_reg_num", 1)[0]

    def get_reg_number(self) -> str:
        """The register's registration number."""
        return self._texts("termina_get_reg_number", 1)[0]

    def get_fm_last_data(self) -> datetime.datetime:
        """Date and time of the last fiscal memory record."""
        d, t = self._texts("termina_get_fm_last_data", 2)
        return datetime.datetime.combine(_parse_date(d), _parse_time(t))

    def get_kkm_date_time(self) -> datetime.datetime:
        """The register's clock."""
        d, t = self._texts("termina_get_kkm_date_time", 2)
        return datetime.datetime.combine(_parse_date(d), _parse_time(t))

    # -- raw frames
    def put_command(self, frame: bytes) -> None:
        """Sends bytes as a request frame, unchanged."""
        if not isinstance(frame, (bytes, bytearray)):
            raise TypeError("frame must be bytes")
        if not frame:
            raise ValueError("frame is empty")
        buf = ctypes.create_string_buffer(bytes(frame), len(frame))
        self._call("termina_put_command", buf, len(frame))

    def get_receive(self) -> bytes:
        """Collects the next reply frame whole, as received."""
        buf = ctypes.create_string_buffer(4096)
        n = ctypes.c_size_t(0)
        self._call("termina_get_receive", 0, buf, len(buf), ctypes.byref(n))
        return buf.raw[: n.value]

    # -- logo and memory
    def clear_logo(self) -> None:
        """Clears the printed logo."""
        self._call("termina_clear_logo")

    def load_logo(self, path: str) -> None:
        """Uploads a logo file of this host."""
        if not isinstance(path, str):
            raise TypeError("path must be str")
        self._call("termina_load_logo", path.encode("utf-8"))

    def read_mem_block(self, area: int, address: int, count: int) -> bytes:
        """Reads ``count`` bytes of a memory area."""
        _uint(count, "count", 1, 1 << 20)
        buf = ctypes.create_string_buffer(count)
        self._call("termina_read_mem_block", _uint(area, "area", 0, 0xFF),
                   _uint(address, "address", 0, 0xFFFFFFFF), count, buf, count)
        return buf.raw

    def write_mem_block(self, area: int, address: int, data: bytes) -> None:
        """Writes bytes into a memory area."""
        if not isinstance(data, (bytes, bytearray)):
            raise TypeError("data must be bytes")
        if not data:
            raise ValueError("data is empty")
        buf = ctypes.create_string_buffer(bytes(data), len(data))
        self._call("termina_write_mem_block", _uint(area, "area", 0, 0xFF),
                   _uint(address, "address", 0, 0xFFFFFFFF), buf, len(data))
