# SPDX-License-Identifier: LGPL-2.1-or-later
"""The exceptions the package raises for failed register calls."""

from __future__ import annotations


class TerminaError(Exception):
    """A call to the register failed.

    ``code`` is the driver's result code, ``text`` its message as the driver
    composes it.
    """

    def __init__(self, code: int, text: str) -> None:
        super().__init__(f"{code}: {text}")
        self.code = code
        self.text = text


class RegisterError(TerminaError):
    """The register refused the command with one of its own codes (1..255)."""


class LinkError(TerminaError):
    """The driver failed the call: no answer, a port, a checksum, a closed
    register object, a missed deadline."""
