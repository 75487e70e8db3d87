# SPDX-License-Identifier: LGPL-2.1-or-later
"""Python access to TERMINA fiscal registers.

The package drives the registers through the session interface of the
TERMINA-1 driver library (``libtermina1.so.1``; ``TERMINA-1.dll`` on
Windows) with ctypes.  Set ``TERMINA_LIBRARY`` to the path of another copy
of the library, for instance one in a build tree.

Example::

    import termina

    with termina.open_tcp("127.0.0.1", 7778) as reg:
        print(reg.get_status())
        reg.write_config(20, 1, "Касса №1")
"""

from ._errors import LinkError, RegisterError, TerminaError
from ._register import (
    Register,
    TraceRecord,
    open_from_ini,
    open_serial,
    open_tcp,
)
from ._status import FatalFlags, PrinterStatus, Status, StatusFlags

__all__ = [
    "FatalFlags",
    "LinkError",
    "PrinterStatus",
    "Register",
    "RegisterError",
    "Status",
    "StatusFlags",
    "TerminaError",
    "TraceRecord",
    "open_from_ini",
    "open_serial",
    "open_tcp",
]
