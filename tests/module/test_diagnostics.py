"""Diagnostic lines: where they go, their order among Python's own output, and no cut for long items."""
import contextlib
import io

import numpy as np
import pytest

import _pyQorvane as M


def at_debug(dbl, level):
    M.init(level)
    dbl.reset()


def test_lines_go_to_the_current_sys_stdout(dbl):
    at_debug(dbl, 2)
    dbl.returns("IndiceNoeudQor", -1)
    sink = io.StringIO()
    with contextlib.redirect_stdout(sink):
        M.get_node("N1")
        M.size_ts("NODE", "N1", "P")
    assert sink.getvalue() == "  * Unknown node:N1\n Seeking P from NODE N1\n"


def test_lines_keep_their_place_among_prints(dbl, capsys):
    at_debug(dbl, 1)
    capsys.readouterr()
    dbl.returns("IndiceNoeudQor", -1)
    print("before")
    M.get_node("A")
    print("between")
    M.set_col_node("B", "xx", [1.0], [1.0])
    print("after")
    assert capsys.readouterr().out == "before\n  * Unknown node:A\nbetween\n  * Unknow condition:xx\nafter\n"


@pytest.mark.parametrize("length", [81, 999, 1000, 1001, 5000])
def test_long_items_are_written_whole(dbl, capsys, length):
    at_debug(dbl, 2)
    capsys.readouterr()
    word = "W" * (length - 1) + "!"
    M.size_ts(word, "N1", "P")
    M.size_ts("NODE", "N1", word)
    M.get_node(word)
    out = capsys.readouterr().out.replace("\n", "")
    # However a long line is broken, no character of it is lost or added.
    assert out == "  * Unknown TYPELT:" + word + "  * Unknown ATTRIBUT:" + word + "  * Identifier too long:" + word


def test_trace_line_with_a_long_identifier(dbl, capsys):
    at_debug(dbl, 2)
    capsys.readouterr()
    eid = "E" * 48
    M.size_ts("RESERVOIR", eid, "VO")
    assert capsys.readouterr().out.replace("\n", "") == " Seeking VO from RESERVOIR " + eid


def test_lines_in_a_fresh_interpreter_reach_standard_output_in_order(fresh):
    r = fresh(
        """
import sys
dbl.returns("IndiceNoeudQor", -3)
dbl.returns("RunCalculQor", 0)
M.init(1)
print("one")
M.get_node("N1 ")
sys.stdout.write("two\\n")
M.run_simulation(1.0, 1.0)
print("three")
"""
    )
    assert r.out == "one\n  * Unknown node:N1 \ntwo\n  * Error running simulation\nthree\n"


def test_negative_debug_writes_nothing(dbl, capsys):
    at_debug(dbl, -3)
    capsys.readouterr()
    dbl.returns("IndiceNoeudQor", -1)
    dbl.returns("RunCalculQor", 0)
    M.get_node("N1")
    M.run_simulation(1.0, 1.0)
    M.size_ts("ROB", "N1", "P")
    M.set_col_node("N1", "ch", np.array([1.0], np.float32), np.array([1.0], np.float32))
    assert capsys.readouterr().out == ""
