"""get_node and set_col_node: identifier fields, node records and diagnostics as the engine sees them."""
import struct

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import _pyQorvane as M

NODE_FIELD = 19
NODE_RECORD = 424
MAX_POINTS = 20
F32 = np.float32


def node_field(eid: bytes) -> bytes:
    """Identifier field the engine must receive: the identifier, a zero byte, blanks up to 19."""
    core = eid.rstrip(b" ")
    assert len(core) <= NODE_FIELD - 1
    return (core + b"\0").ljust(NODE_FIELD, b" ")


def record_with(**fields) -> bytes:
    """A node record of zero bytes with 64-bit floats at the offsets of fz, fcs and fch."""
    rec = bytearray(NODE_RECORD)
    for name, offset in (("fz", 40), ("fcs", 48), ("fch", 64)):
        if name in fields:
            struct.pack_into("<d", rec, offset, fields[name])
    return bytes(rec)


def at_debug(dbl, level):
    M.init(level)
    dbl.reset()


def out_lines(capsys):
    return capsys.readouterr().out.splitlines(keepends=True)


def f32(x):
    return float(F32(x))


def series(n, start=1.0):
    tim = np.arange(start, start + n, dtype=F32)
    return tim, tim * F32(10)


# ---------------------------------------------------------------- get_node


@pytest.mark.parametrize(
    "eid, field",
    [
        ("N1", node_field(b"N1")),
        ("N1  ", node_field(b"N1")),
        (" N1", b" N1\0" + b" " * 15),
        ("", b"\0" + b" " * 18),
        ("   ", b"\0" + b" " * 18),
        ("n1", node_field(b"n1")),
        ("A" * 18, b"A" * 18 + b"\0"),
        ("B" * 18 + "   ", b"B" * 18 + b"\0"),
        ("N 1", b"N 1\0" + b" " * 15),
    ],
)
def test_get_node_hands_engine_the_identifier_field(dbl, eid, field):
    M.get_node(eid)
    assert dbl.ops() == ["IndiceNoeudQor", "GetNoeudQor"]
    looked_up = dbl.calls_of("IndiceNoeudQor")[0]
    assert looked_up.args[0] == field
    assert looked_up.args[1] == struct.pack("<i", 0)


def test_get_node_reads_the_record_of_the_index_the_engine_gave(dbl):
    dbl.returns("IndiceNoeudQor", 37)
    dbl.writes("GetNoeudQor", 1, record_with(fz=12.5, fcs=0.1, fch=-3.25))
    assert M.get_node("N7") == (37, 12.5, f32(0.1), -3.25)
    fetched = dbl.calls_of("GetNoeudQor")[0]
    assert fetched.args[0] == struct.pack("<i", 37)


@pytest.mark.parametrize("value", [0.1, 1.0 / 3.0, 1e-30, 123456789.123, -7.77])
def test_get_node_rounds_values_to_single_precision(dbl, value):
    dbl.writes("GetNoeudQor", 1, record_with(fz=value, fcs=value, fch=value))
    _, fz, fcs, fch = M.get_node("N1")
    assert fz == fcs == fch == f32(value)


def test_get_node_index_zero_is_a_valid_node(dbl):
    dbl.returns("IndiceNoeudQor", 0)
    dbl.writes("GetNoeudQor", 1, record_with(fz=2.0, fcs=3.0, fch=4.0))
    assert M.get_node("N0") == (0, 2.0, 3.0, 4.0)


def test_get_node_keeps_earlier_values_when_the_engine_writes_nothing(dbl):
    dbl.writes("GetNoeudQor", 1, record_with(fz=1.5, fcs=2.5, fch=3.5))
    M.get_node("N1")
    dbl.silent("GetNoeudQor", 1)
    assert M.get_node("N2") == (1, 1.5, 2.5, 3.5)
    # The record goes back to the engine as it last left it.
    assert dbl.calls_of("GetNoeudQor")[-1].args[1] == record_with(fz=1.5, fcs=2.5, fch=3.5)


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("eid", ["GHOST", "GHOST  ", " G"])
def test_get_node_unknown_node(dbl, capsys, debug, eid):
    at_debug(dbl, debug)
    capsys.readouterr()
    dbl.returns("IndiceNoeudQor", -4)
    dbl.writes("GetNoeudQor", 1, record_with(fz=9.0, fcs=9.0, fch=9.0))
    assert M.get_node(eid) == (-4, 0.0, 0.0, 0.0)
    assert dbl.ops() == ["IndiceNoeudQor"]
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Unknown node:" + eid + "\n"])


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("eid", ["A" * 19, "ABCDEFGHIJKLMNOPQRSTUVWXYZ", "C" * 19 + "  ", " " + "D" * 18])
def test_get_node_refuses_identifiers_too_long(dbl, capsys, debug, eid):
    at_debug(dbl, debug)
    capsys.readouterr()
    assert M.get_node(eid) == (-1, 0.0, 0.0, 0.0)
    assert dbl.ops() == []
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Identifier too long:" + eid + "\n"])


def test_get_node_does_not_need_an_open_engine(dbl):
    M.quit()
    dbl.reset()
    dbl.writes("GetNoeudQor", 1, record_with(fz=1.0))
    assert M.get_node("N1") == (1, 1.0, 0.0, 0.0)
    assert dbl.ops() == ["IndiceNoeudQor", "GetNoeudQor"]


# ---------------------------------------------------------------- set_col_node


def sent_record(dbl, which=-1) -> bytes:
    call = dbl.calls_of("SetNoeudQor")[which]
    assert len(call.args[2]) == NODE_RECORD
    return call.args[2]


def points_of(rec: bytes, n: int):
    return [struct.unpack_from("<dd", rec, 80 + 16 * i) for i in range(n)]


@pytest.mark.parametrize(
    "mode, code",
    [("CH", 0), ("CS", 1), ("P", 2), ("CH  ", 0), ("CS ", 1), ("P   ", 2)],
)
def test_set_col_node_record_layout(dbl, mode, code):
    tim = np.array([0.0, 0.1, 7200.5], F32)
    val = np.array([1.25, -2.0, 1e-3], F32)
    assert M.set_col_node("N12", mode, tim, val) == 1
    assert dbl.ops() == ["SetNoeudQor"]
    call = dbl.calls_of("SetNoeudQor")[0]
    assert call.args[0] == struct.pack("<i", 0)
    assert call.args[1] == node_field(b"N12")
    rec = call.args[2]
    assert rec[0:NODE_FIELD] == node_field(b"N12")
    assert struct.unpack_from("<ii", rec, 72) == (code, 3)
    assert points_of(rec, 3) == [(float(t), float(v)) for t, v in zip(tim, val)]
    assert struct.unpack_from("<i", rec, 400) == (0,)


def test_set_col_node_keeps_the_order_given(dbl):
    tim = np.array([30.0, 10.0, 20.0, 10.0], F32)
    val = np.array([3.0, 1.0, 2.0, 4.0], F32)
    M.set_col_node("N1", "CS", tim, val)
    assert points_of(sent_record(dbl), 4) == [(30.0, 3.0), (10.0, 1.0), (20.0, 2.0), (10.0, 4.0)]


def test_set_col_node_trailing_blanks_give_the_same_field(dbl):
    tim, val = series(1)
    M.set_col_node("N1", "CH", tim, val)
    M.set_col_node("N1    ", "CH", tim, val)
    first, second = dbl.calls_of("SetNoeudQor")
    assert first.args[1] == second.args[1] == node_field(b"N1")
    assert first.args[2] == second.args[2]


def test_set_col_node_shorter_series_leaves_later_points(dbl):
    tim, val = series(5, start=100.0)
    M.set_col_node("LONGNAME_18_CHARSX", "CH", tim, val)
    M.set_col_node("N2", "P", np.array([1.0], F32), np.array([2.0], F32))
    first, second = sent_record(dbl, 0), sent_record(dbl, 1)
    assert struct.unpack_from("<ii", second, 72) == (2, 1)
    assert points_of(second, 1) == [(1.0, 2.0)]
    assert points_of(second, 5)[1:] == points_of(first, 5)[1:]
    # The identifier is rewritten whole: no character of the longer one survives.
    assert second[0:NODE_FIELD] == node_field(b"N2")


def test_set_col_node_touches_only_its_own_bytes(dbl):
    tim, val = series(2)
    M.set_col_node("N1", "CH", tim, val)
    M.set_col_node("LONGER_NODE_NAME", "P", tim[:1] + 5, val[:1] + 5)
    first, second = sent_record(dbl, 0), sent_record(dbl, 1)
    owned = set(range(0, NODE_FIELD)) | set(range(72, 96)) | set(range(400, 404))
    changed = {i for i in range(NODE_RECORD) if first[i] != second[i]}
    assert changed <= owned
    assert second[0:NODE_FIELD] == node_field(b"LONGER_NODE_NAME")
    assert struct.unpack_from("<iidd", second, 72) == (2, 1, 6.0, 15.0)
    assert points_of(second, 2)[1] == points_of(first, 2)[1]


def test_set_col_node_full_series_of_twenty(dbl):
    tim, val = series(MAX_POINTS)
    assert M.set_col_node("N1", "CH", tim, val) == 1
    rec = sent_record(dbl)
    assert struct.unpack_from("<i", rec, 76) == (MAX_POINTS,)
    assert points_of(rec, MAX_POINTS) == [(float(t), float(v)) for t, v in zip(tim, val)]
    assert struct.unpack_from("<i", rec, 400) == (0,)


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("n", [21, 40])
def test_set_col_node_refuses_too_many_points(dbl, capsys, debug, n):
    tim, val = series(2, start=5.0)
    M.set_col_node("N1", "CH", tim, val)
    at_debug(dbl, debug)
    capsys.readouterr()
    tim, val = series(n, start=500.0)
    assert M.set_col_node("N1", "CH", tim, val) == 0
    assert dbl.ops() == []
    assert out_lines(capsys) == ([] if debug == 0 else [f"  * Too many points:{n}\n"])
    # A refused series does not reach the record either.
    M.set_col_node("N1", "CH", np.array([1.0], F32), np.array([1.0], F32))
    assert points_of(sent_record(dbl), 2)[1] == (6.0, 60.0)


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("mode", ["ch", " CH", "C", "CHX", "", "PP", "Q"])
def test_set_col_node_unknown_condition(dbl, capsys, debug, mode):
    at_debug(dbl, debug)
    capsys.readouterr()
    tim, val = series(2)
    assert M.set_col_node("N1", mode, tim, val) == 0
    assert dbl.ops() == []
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Unknow condition:" + mode + "\n"])


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("eid", ["E" * 19, "F" * 30 + " ", " " + "G" * 18])
def test_set_col_node_refuses_identifiers_too_long(dbl, capsys, debug, eid):
    at_debug(dbl, debug)
    capsys.readouterr()
    tim, val = series(2)
    assert M.set_col_node(eid, "CH", tim, val) == 0
    assert dbl.ops() == []
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Identifier too long:" + eid + "\n"])


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("status, refused", [(0, True), (6, True), (-2, True), (3, False), (-1, False), (1, False)])
def test_set_col_node_returns_engine_status(dbl, capsys, debug, status, refused):
    at_debug(dbl, debug)
    capsys.readouterr()
    dbl.returns("SetNoeudQor", status)
    tim, val = series(1)
    assert M.set_col_node("N5   ", "P", tim, val) == status
    expected = ["  * Error for: N5\n"] if refused and debug > 0 else []
    assert out_lines(capsys) == expected


def test_set_col_node_with_zero_points_still_calls_engine(dbl):
    assert M.set_col_node("N1", "CH", np.array([], F32), np.array([4.0], F32)) == 1
    rec = sent_record(dbl)
    assert struct.unpack_from("<i", rec, 76) == (0,)


def test_node_pairs_of_the_two_functions_are_separate(dbl):
    tim, val = np.array([1.0], F32), np.array([2.0], F32)
    M.set_col_node("N2", "CH", tim, val)
    pattern = bytes([0xA5]) * NODE_RECORD
    dbl.writes("GetNoeudQor", 1, pattern)
    M.get_node("N1")
    M.set_col_node("N2", "CH", tim, val)
    M.get_node("N3")
    lookup, fetch = dbl.calls_of("IndiceNoeudQor")[0], dbl.calls_of("GetNoeudQor")[0]
    before, after = dbl.calls_of("SetNoeudQor")
    assert lookup.addrs[0] != after.addrs[1]
    assert fetch.addrs[1] != after.addrs[2]
    assert after.addrs[1] != after.addrs[2]
    # What GetNoeudQor wrote stays in get_node's record and never reaches set_col_node's.
    assert after.args[2] == before.args[2]
    assert dbl.calls_of("GetNoeudQor")[1].args[1] == pattern


def test_set_col_node_record_starts_as_zero_bytes(fresh):
    r = fresh(
        """
dbl.writes("GetNoeudQor", 1, bytes([0xA5]) * 424)
M.get_node("N1")
M.set_col_node("N2", "CH", np.array([1.0], np.float32), np.array([2.0], np.float32))
result = dbl.calls_of("SetNoeudQor")[0].args[2].hex()
"""
    )
    rec = bytes.fromhex(r.value)
    expected = bytearray(NODE_RECORD)
    expected[0:NODE_FIELD] = node_field(b"N2")
    struct.pack_into("<iidd", expected, 72, 0, 1, 1.0, 2.0)
    assert rec == bytes(expected)


def test_get_node_record_starts_as_zero_bytes(fresh):
    r = fresh(
        """
result = list(M.get_node("N1")) + [dbl.calls_of("GetNoeudQor")[0].args[1].hex()]
"""
    )
    assert r.value[:4] == [1, 0.0, 0.0, 0.0]
    assert bytes.fromhex(r.value[4]) == bytes(NODE_RECORD)


IDENTIFIER_TEXT = st.text(st.characters(min_codepoint=33, max_codepoint=126), max_size=NODE_FIELD - 1)
SERIES_VALUE = st.floats(width=32, allow_nan=False)


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(
    core=IDENTIFIER_TEXT,
    trailing=st.integers(0, 4),
    points=st.lists(st.tuples(SERIES_VALUE, SERIES_VALUE), max_size=MAX_POINTS),
)
def test_any_fitting_identifier_and_series_reach_the_engine_exactly(dbl, core, trailing, points):
    dbl.reset()
    eid = core + " " * trailing
    tim = np.array([t for t, _ in points], F32)
    val = np.array([v for _, v in points], F32)
    if not points:
        val = np.zeros(1, F32)
    assert M.set_col_node(eid, "CS", tim, val) == 1
    call = dbl.calls_of("SetNoeudQor")[0]
    field = node_field(core.encode())
    assert call.args[1] == field == call.args[2][0:NODE_FIELD]
    assert struct.unpack_from("<ii", call.args[2], 72) == (1, len(points))
    assert points_of(call.args[2], len(points)) == [(float(t), float(v)) for t, v in zip(tim, val)]
