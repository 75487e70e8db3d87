# SPDX-License-Identifier: GPL-3.0-or-later
"""Simulated registers for the package's tests: termina-sim started as a
subprocess over a pseudo-terminal or loopback TCP."""

import os
import subprocess
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "python"))

import termina  # noqa: E402

SIM = os.environ.get("TERMINA_SIM", "termina-sim")


class Sim:
    def __init__(self, tmp: Path, transport: str, *extra: str) -> None:
        args = [SIM, *extra]
        if transport == "pty":
            args += ["--pty", str(tmp / f"tty-{id(self)}")]
        else:
            args += ["--tcp", "0"]
        # With --log the simulator writes each request it received to
        # standard error, before its reply goes out.
        self.log = tmp / f"requests-{id(self)}.log" if "--log" in extra else None
        # A sanitizer runtime preloaded into this interpreter (for a sanitized
        # library) is not the simulator's to take: a program with its own
        # runtime linked in refuses to start beside a second one.
        env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}
        with open(self.log or os.devnull, "w") as err:
            self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=err if self.log else None, text=True,
                                         env=env)
        line = self.proc.stdout.readline().split()
        if len(line) != 2:
            self.proc.kill()
            raise RuntimeError(f"termina-sim printed {line!r}")
        self.transport = transport
        self.where = line[1]

    def open(self, **kw) -> "termina.Register":
        if self.transport == "pty":
            return termina.open_serial(self.where, 19200, **kw)
        host, port = self.where.rsplit(":", 1)
        return termina.open_tcp(host, int(port), **kw)

    def requests(self) -> list:
        """The requests logged so far (--log), one "CODE [field]... -> RESULT" a line."""
        return self.log.read_text(encoding="utf-8").splitlines()

    def stop(self) -> None:
        self.proc.terminate()
        self.proc.wait()


@pytest.fixture
def make_sim(tmp_path):
    sims = []

    def make(transport: str = "tcp", *extra: str) -> Sim:
        s = Sim(tmp_path, transport, *extra)
        sims.append(s)
        return s

    yield make
    for s in sims:
        s.stop()


@pytest.fixture(params=["pty", "tcp"])
def reg(request, make_sim):
    with make_sim(request.param).open() as r:
        yield r
