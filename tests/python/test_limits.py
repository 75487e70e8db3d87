# SPDX-License-Identifier: GPL-3.0-or-later
"""Texts of exactly the register's limits reach it whole; one character more
is refused with nothing sent."""

import datetime
import re

import pytest

import termina


def check_limit(sim, reg, limit, char, field, call):
    """One character over the limit first, then exactly the limit: the field
    of the request the simulator logged holds the whole text."""
    sent = []
    reg.set_trace(sent.append)
    before = sim.requests()
    with pytest.raises(ValueError):
        call(char * (limit + 1))
    assert sent == [] and sim.requests() == before
    reg.set_trace(None)
    call(char * limit)
    line = sim.requests()[-1]
    assert line.endswith("-> 00"), line
    assert re.findall(r"\[([^\]]*)\]", line)[field] == char * limit


def test_texts_of_exactly_the_limit_arrive_whole(make_sim):
    pw = "7" * 10
    sim = make_sim("tcp", "--log", "--display", "--no-fiscal-module", "--inspector-password", pw)
    with sim.open() as reg:
        check_limit(sim, reg, 12, "Щ", 2,
                    lambda t: reg.install(datetime.date(2026, 3, 4), datetime.time(10, 0), t))
        reg.init(datetime.date(2026, 3, 4), datetime.time(10, 0))
        check_limit(sim, reg, 40, "Ж", 2, lambda t: reg.write_config(20, 1, t))
        assert reg.read_config(20, 1) == "Ж" * 40
        check_limit(sim, reg, 20, "Д", 0, lambda t: reg.show_client_display_text(t))
        check_limit(sim, reg, 20, "9", 1, lambda t: reg.show_client_display_text("", t))
        # Registration takes digits only and the tax inspector password it holds.
        check_limit(sim, reg, 10, "7", 0, lambda t: reg.register(t, "1", "2", pw))
        check_limit(sim, reg, 12, "3", 1, lambda t: reg.register(pw, t, "2", pw))
        assert reg.get_reg_number() == "3" * 12
        check_limit(sim, reg, 12, "4", 2, lambda t: reg.register(pw, "1", t, pw))
        assert reg.get_inn() == "4" * 12
        check_limit(sim, reg, 10, "5", 3, lambda t: reg.register(pw, "1", "2", t))


def test_a_link_password_of_exactly_the_limit(make_sim):
    password = "П" * 59
    sim = make_sim("tcp", "--log", "--password", password)
    with pytest.raises(ValueError):
        sim.open(password=password + "П")
    assert sim.requests() == []
    with sim.open(password=password) as reg:
        assert reg.get_version() == 201
        with pytest.raises(ValueError):
            reg.set_password(password + "П")
        reg.set_password("WKRD")
        with pytest.raises(termina.RegisterError):
            reg.get_version()
        reg.set_password(password)
        assert reg.get_version() == 201
