# SPDX-License-Identifier: GPL-3.0-or-later
"""The termina package against the simulated register."""

import datetime
import threading

import pytest

import termina


def test_status_settings_and_queries(reg):
    st = reg.get_status()
    assert isinstance(st.fatal, termina.FatalFlags) and not st.fatal.not_installed
    assert st.flags.raw == sum(1 << i for i, b in enumerate(
        [st.flags.no_init, st.flags.non_fiscal, st.flags.shift_open, st.flags.shift_over_24h,
         st.flags.eej_archive_closed, st.flags.eej_not_activated, st.flags.no_fm_space,
         st.flags.wrong_fm_password]) if b)
    assert isinstance(reg.get_printer_status(), termina.PrinterStatus)
    assert reg.check_active()
    assert reg.get_version() == 201
    reg.write_config(20, 1, "Касса №1 Ёлка")
    assert reg.read_config(20, 1) == "Касса №1 Ёлка"
    assert isinstance(reg.get_current_shift(), int)
    when = datetime.datetime(2026, 3, 4, 5, 6, 7)
    reg.set_datetime(when)
    got = reg.get_kkm_date_time()
    assert when <= got < when + datetime.timedelta(seconds=30)


def test_receipt_report_and_memory(reg):
    reg.init(datetime.date(2026, 3, 4), datetime.time(10, 0))
    reg.open_receipt(2, 1, "Петров", 1)
    assert reg.add_article("Хлеб", "001", 2, 30.5, 1) == pytest.approx(61.0)
    assert reg.subtotal() == pytest.approx(61.0)
    reg.payment(0, 100)
    reg.close_receipt()
    reg.x_report("Петров")
    reg.write_mem_block(3, 0x100, b"\x01\xfe\x7f")
    assert reg.read_mem_block(3, 0x100, 3) == b"\x01\xfe\x7f"


def test_refusal_and_link_failure_as_exceptions(make_sim):
    with make_sim("tcp").open() as reg:
        with pytest.raises(termina.RegisterError) as e:
            reg.read_config(99, 1)
        assert e.value.code == 3 and e.value.text == "Неверный параметр функции"
        assert isinstance(e.value, termina.TerminaError)
        assert reg.get_version() == 201  # the register carries on
    with make_sim("pty", "--bad-checksum").open() as bad:
        with pytest.raises(termina.LinkError) as e:
            bad.get_version()
        assert e.value.code == 7 and e.value.text


def test_context_manager_closes_on_exception(make_sim):
    sim = make_sim("pty")
    with pytest.raises(RuntimeError):
        with sim.open() as reg:
            raise RuntimeError("boom")
    assert reg.closed
    with pytest.raises(termina.LinkError) as e:
        reg.get_status()
    assert e.value.code == 257
    # The port is free again: a second open succeeds.
    with sim.open() as again:
        assert again.check_active()


def test_bad_arguments_send_nothing(reg):
    sent = []
    reg.set_trace(sent.append)
    with pytest.raises(TypeError):
        reg.write_config(20, 1, 5)
    with pytest.raises(TypeError):
        reg.read_config("20", 1)
    with pytest.raises(ValueError):
        reg.write_config(20, 1, "«Ёлка»")  # not printable by the register
    with pytest.raises(ValueError):
        reg.write_config(20, 1, "x" * 41)
    with pytest.raises(ValueError):
        reg.print_string("a\nb")
    with pytest.raises(ValueError):
        reg.set_date(datetime.date(1999, 1, 1), datetime.time(0, 0))
    with pytest.raises(TypeError):
        reg.set_date("2026-01-01", datetime.time(0, 0))
    with pytest.raises(ValueError):
        termina.open_serial("/dev/null", 1234)
    assert sent == []


def test_trace_receives_decoded_records(reg):
    records = []
    reg.set_trace(records.append)
    with pytest.raises(termina.RegisterError):
        reg.read_config(99, 1)
    frames = [r for r in records if r.kind == "frame"]
    assert frames[0].direction == "out" and frames[0].command == 0xA1
    reply = [r for r in frames if r.direction == "in"][-1]
    assert reply.command == 0xA1 and reply.result == 3
    assert reply.text.endswith("<- A1 ReadConfig = 3 bad_parameter: Неверный параметр функции")
    assert frames[0].text.endswith('-> A1 ReadConfig "99" "1"')
    assert all(isinstance(r.data, bytes) and r.time >= 0 for r in records)
    reg.set_trace(None)
    records.clear()
    reg.get_version()
    assert records == []


def test_two_registers_from_two_threads(make_sim):
    sims = [make_sim("pty"), make_sim("tcp")]
    errors = []

    def work(sim, caption):
        try:
            with sim.open() as reg:
                for i in range(5):
                    reg.write_config(20, 1, f"{caption} {i}")
                    assert reg.read_config(20, 1) == f"{caption} {i}"
                with pytest.raises(termina.RegisterError):
                    reg.read_config(99, 1)
        except BaseException as e:  # reported to the main thread
            errors.append(e)

    threads = [threading.Thread(target=work, args=(s, c)) for s, c in zip(sims, ["Касса", "Склад"])]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert errors == []


def test_cancel_from_another_thread(make_sim):
    sim = make_sim("tcp", "--shift-report-ms", "600000", "--report-ack-ms", "50")
    printing = threading.Event()

    def watch(rec):
        if rec.direction == "in" and rec.kind == "ack" and rec.command is None:
            printing.set()

    with sim.open() as reg:
        reg.init(datetime.date(2026, 3, 4), datetime.time(10, 0))
        reg.set_trace(watch)
        outcome = []

        def report():
            try:
                reg.x_report("Петров")
                outcome.append(None)
            except termina.TerminaError as e:
                outcome.append(e)

        t = threading.Thread(target=report)
        t.start()
        assert printing.wait(60)
        reg.cancel_report()
        t.join(60)
        assert not t.is_alive()
        # The X report, cut short by CAN long before its ten minutes, answers 00.
        assert outcome == [None]
        reg.set_trace(None)
        assert reg.get_version() == 201


def test_readme_example_runs(make_sim):
    import os
    import re
    import subprocess
    import sys
    from pathlib import Path

    top = Path(__file__).resolve().parents[2]
    readme = (top / "README.md").read_text(encoding="utf-8")
    code = re.search(r"<!-- example: sessions.py -->\n```python\n(.*?)```", readme, re.S).group(1)
    pty, tcp = make_sim("pty"), make_sim("tcp")
    env = dict(os.environ, PYTHONPATH=str(top / "python"))
    r = subprocess.run([sys.executable, "-c", code, pty.where, tcp.where.rsplit(":", 1)[1]],
                       env=env, capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stderr
    assert r.stdout.splitlines() == ["3 Неверный параметр функции", "Касса №1 False",
                                     "3 Неверный параметр функции", "Склад False"]
