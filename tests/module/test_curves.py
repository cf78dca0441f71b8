"""size_ts and result_ts: code tables, the curve-selection record, the selection state and the curve read."""
import struct

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import _pyQorvane as M

CURVE_RECORD = 504
CURVE_FIELD = 49
CURVE_ID_WIDTH = 48
DOUBLE = 8

TYPE_WORDS = [
    ("LINK", 0), ("ARC", 0),
    ("PUMP", 10), ("POMPE", 10),
    ("VANNE", 25), ("ROBINET", 25), ("REGULATEUR", 25), ("ROBI", 25), ("REGU", 25), ("ROBIxyz", 25),
    ("NODE", 40), ("NOEUD", 40), ("NODE   ", 40),
    ("TANK", 30), ("RESERVOIR", 30),
    ("ANB", 41), ("CHEMINEE", 42), ("BALLON", 44),
]
UNKNOWN_TYPES = ["ROB", "REG", "node", "Node", " NODE", "robinet", "", "NODES", "LIN", "VANNES", "X"]
ATTRIBUTE_WORDS = [
    ("CH", 0), ("Q", 0),
    ("PC", 1), ("NC", 1), ("NV", 1),
    ("P", 2), ("VR", 2), ("VO", 2), ("P  ", 2),
    ("DO", 3),
]
UNKNOWN_ATTRIBUTES = ["p", "ch", " P", "", "PP", "CHX", "D", "QQ"]


def curve_field(eid: bytes) -> bytes:
    core = eid.rstrip(b" ")
    assert len(core) <= CURVE_ID_WIDTH
    return (core + b"\0").ljust(CURVE_FIELD, b" ")


def opened(dbl, level=0):
    M.init(level)
    dbl.reset()


def out_lines(capsys):
    return capsys.readouterr().out.splitlines(keepends=True)


def selection():
    v = M.pyvuzizi
    return int(v.qor_typelt), int(v.qor_attr), v.qor_id.tobytes()


def doubles(values) -> bytes:
    return np.asarray(values, np.float64).tobytes()


def count_is(dbl, n):
    dbl.writes("GetNbPtUneCourbe", 1, struct.pack("<i", n))


def selected_record(dbl) -> bytes:
    rec = dbl.calls_of("SetInfoCourbe")[-1].args[0]
    assert len(rec) == CURVE_RECORD
    return rec


# ---------------------------------------------------------------- size_ts: codes and record


@pytest.mark.parametrize("word, code", TYPE_WORDS)
def test_element_type_words(dbl, word, code):
    opened(dbl)
    count_is(dbl, 4)
    assert M.size_ts(word, "E1", "Q") == 4
    rec = selected_record(dbl)
    assert struct.unpack_from("<hhi", rec, 0) == (code, 0, 1)
    assert rec[8:8 + CURVE_FIELD] == curve_field(b"E1")
    assert selection()[:2] == (code, 0)


@pytest.mark.parametrize("word, code", ATTRIBUTE_WORDS)
def test_attribute_words(dbl, word, code):
    opened(dbl)
    count_is(dbl, 2)
    assert M.size_ts("PUMP", "PU1", word) == 2
    rec = selected_record(dbl)
    assert struct.unpack_from("<hhi", rec, 0) == (10, code, 1)
    assert selection()[:2] == (10, code)


@pytest.mark.parametrize(
    "eid, field, qor_id",
    [
        ("N1", curve_field(b"N1"), b"N1".ljust(48)),
        ("N1   ", curve_field(b"N1"), b"N1".ljust(48)),
        (" N1", b" N1\0".ljust(49), b" N1".ljust(48)),
        ("", b"\0".ljust(49), b" " * 48),
        ("low case", curve_field(b"low case"), b"low case".ljust(48)),
        ("A" * 47, b"A" * 47 + b"\0 ", b"A" * 47 + b" "),
        ("B" * 48, b"B" * 48 + b"\0", b"B" * 48),
        ("C" * 48 + "    ", b"C" * 48 + b"\0", b"C" * 48),
    ],
)
def test_identifier_field_and_qor_id(dbl, eid, field, qor_id):
    opened(dbl)
    M.size_ts("NODE", eid, "P")
    assert selected_record(dbl)[8:8 + CURVE_FIELD] == field
    assert selection() == (40, 2, qor_id)


def test_selection_rewrites_only_codes_and_field(dbl):
    opened(dbl)
    M.size_ts("NODE", "LONG_IDENTIFIER_OF_THIRTY_CHARS", "P")
    M.size_ts("LINK", "L2", "Q")
    first, second = dbl.calls_of("SetInfoCourbe")
    assert first.args[0][57:] == second.args[0][57:]
    assert second.args[0][:57] == struct.pack("<hhi", 0, 0, 1) + curve_field(b"L2")
    assert first.addrs[0] == second.addrs[0]


def test_record_starts_as_zero_bytes(fresh):
    r = fresh(
        """
M.init(0)
M.size_ts("NODE", "N1", "P")
result = dbl.calls_of("SetInfoCourbe")[0].args[0].hex()
"""
    )
    rec = bytes.fromhex(r.value)
    assert rec[57:] == bytes(CURVE_RECORD - 57)
    assert rec[:57] == struct.pack("<hhi", 40, 2, 1) + curve_field(b"N1")


def test_count_request_passes_zero(dbl):
    opened(dbl)
    M.size_ts("NODE", "N1", "P")
    assert dbl.ops() == ["SetInfoCourbe", "GetNbPtUneCourbe"]
    assert dbl.calls_of("GetNbPtUneCourbe")[0].args[0] == struct.pack("<i", 0)


# ---------------------------------------------------------------- size_ts: failure paths and lines


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("word", UNKNOWN_TYPES)
def test_unknown_element_type(dbl, capsys, debug, word):
    opened(dbl, debug)
    M.pyvuzizi.qor_id = b"KEEP"
    capsys.readouterr()
    assert M.size_ts(word, "N1", "P") == 0
    assert dbl.ops() == []
    assert selection() == (-1, -1, b"KEEP".ljust(48))
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Unknown TYPELT:" + word + "\n"])


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("word", UNKNOWN_ATTRIBUTES)
def test_unknown_attribute(dbl, capsys, debug, word):
    opened(dbl, debug)
    M.pyvuzizi.qor_id = b"KEEP"
    capsys.readouterr()
    assert M.size_ts("BALLON", "N1", word) == 0
    assert dbl.ops() == []
    assert selection() == (44, -1, b"KEEP".ljust(48))
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Unknown ATTRIBUT:" + word + "\n"])


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("eid", ["D" * 49, "E" * 60 + "  ", " " + "F" * 48])
def test_identifier_too_long_is_refused_before_selection(dbl, capsys, debug, eid):
    opened(dbl, debug)
    M.pyvuzizi.qor_id = b"KEEP"
    capsys.readouterr()
    assert M.size_ts("NODE", eid, "P") == 0
    assert dbl.ops() == []
    assert selection() == (-1, -1, b"KEEP".ljust(48))
    assert out_lines(capsys) == ([] if debug == 0 else ["  * Identifier too long:" + eid + "\n"])


@pytest.mark.parametrize("debug", [0, 1, 2, 5])
def test_engine_not_open_is_silent(dbl, capsys, debug):
    opened(dbl, debug)
    M.quit()
    dbl.reset()
    M.pyvuzizi.qor_id = b"KEEP"
    capsys.readouterr()
    for args in [("NODE", "N1", "P"), ("ROB", "N1", "P"), ("NODE", "N1", "x"), ("NODE", "Z" * 60, "P")]:
        assert M.size_ts(*args) == 0
        assert selection() == (-1, -1, b"KEEP".ljust(48))
    assert dbl.ops() == []
    assert out_lines(capsys) == []


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("status", [0, 2, -4])
def test_selection_refused_by_engine(dbl, capsys, debug, status):
    opened(dbl, debug)
    capsys.readouterr()
    dbl.returns("SetInfoCourbe", status)
    count_is(dbl, 9)
    assert M.size_ts("PUMP ", "P1 ", "Q ") == 0
    assert dbl.ops() == ["SetInfoCourbe"]
    assert selection() == (10, 0, b"P1".ljust(48))
    expected = []
    if debug > 1:
        expected.append(" Seeking Q  from PUMP  P1 \n")
    if debug > 0:
        expected.append("  * InfoCourbe failed\n")
    assert out_lines(capsys) == expected


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("written, nval", [(None, 0), (7, 7)])
def test_count_refused_by_engine(dbl, capsys, debug, written, nval):
    opened(dbl, debug)
    capsys.readouterr()
    dbl.returns("GetNbPtUneCourbe", 0)
    if written is not None:
        count_is(dbl, written)
    assert M.size_ts("NOEUD", "J9", "VR") == nval
    assert dbl.ops() == ["SetInfoCourbe", "GetNbPtUneCourbe"]
    assert selection() == (40, 2, b"J9".ljust(48))
    expected = []
    if debug > 1:
        expected.append(" Seeking VR from NOEUD J9\n")
    if debug > 0:
        expected.append("  * GetNbPtUneCourbe failed\n")
    assert out_lines(capsys) == expected


@pytest.mark.parametrize("debug, traced", [(0, False), (1, False), (2, True), (3, True)])
def test_trace_line_names_each_argument_as_passed(dbl, capsys, debug, traced):
    opened(dbl, debug)
    capsys.readouterr()
    count_is(dbl, 12)
    assert M.size_ts("CHEMINEE  ", " C1  ", "NV") == 12
    assert out_lines(capsys) == ([" Seeking NV from CHEMINEE    C1  \n"] if traced else [])


# ---------------------------------------------------------------- result_ts


def program_curve(dbl, times, values):
    dbl.writes("GetUneCourbe", 1, doubles(times))
    dbl.writes("GetUneCourbe", 2, doubles(values))


def select_curve(dbl, count):
    opened(dbl)
    count_is(dbl, count)
    assert M.size_ts("NODE", "N1", "P") == count
    dbl.reset()


def assert_no_overrun(call, arrays, written):
    """The ranges the engine wrote must not run past, or start inside, any of the returned arrays."""
    for arg in (1, 2):
        start, end = call.addrs[arg], call.addrs[arg] + written * DOUBLE
        for a in arrays:
            lo, hi = a.ctypes.data, a.ctypes.data + a.nbytes
            assert end <= lo or start >= hi or (start == lo and end <= hi), "engine wrote past a result array"


def test_curve_read_into_the_result_arrays(dbl):
    select_curve(dbl, 3)
    program_curve(dbl, [0.0, 0.5, 1.0], [10.0, 20.0, 30.0])
    vdate, vval = M.result_ts(3)
    assert vdate.dtype == vval.dtype == np.float64
    assert vdate.tolist() == [0.0, 0.5, 1.0]
    assert vval.tolist() == [10.0, 20.0, 30.0]
    assert dbl.ops() == ["GetUneCourbe"]
    call = dbl.calls_of("GetUneCourbe")[0]
    assert call.args[0] == struct.pack("<i", 0)
    assert (call.addrs[1], call.addrs[2]) == (vdate.ctypes.data, vval.ctypes.data)


def test_points_the_engine_does_not_write_stay_zero(dbl):
    select_curve(dbl, 2)
    program_curve(dbl, [1.0, 2.0], [3.0, 4.0])
    vdate, vval = M.result_ts(5)
    assert vdate.tolist() == [1.0, 2.0, 0.0, 0.0, 0.0]
    assert vval.tolist() == [3.0, 4.0, 0.0, 0.0, 0.0]


@pytest.mark.parametrize("count, n", [(10, 3), (20, 1), (4, 3)])
def test_shorter_request_never_overruns(dbl, count, n):
    select_curve(dbl, count)
    times = np.arange(count, dtype=np.float64) + 0.25
    values = -np.arange(count, dtype=np.float64) - 1.0
    program_curve(dbl, times, values)
    vdate, vval = M.result_ts(n)
    assert vdate.shape == vval.shape == (n,)
    assert vdate.tolist() == times[:n].tolist()
    assert vval.tolist() == values[:n].tolist()
    assert dbl.ops() == ["GetUneCourbe"]
    assert_no_overrun(dbl.calls_of("GetUneCourbe")[0], (vdate, vval), count)


@pytest.mark.parametrize("refusal", ["SetInfoCourbe", "GetNbPtUneCourbe"])
def test_unknown_count_after_a_failed_selection_is_asked_first(dbl, refusal):
    select_curve(dbl, 2)
    opened(dbl)
    dbl.returns(refusal, 0)
    M.size_ts("NODE", "N2", "P")
    dbl.reset()
    count_is(dbl, 12)
    times = np.linspace(0.0, 11.0, 12)
    program_curve(dbl, times, times * 2)
    vdate, vval = M.result_ts(4)
    assert dbl.ops() == ["GetNbPtUneCourbe", "GetUneCourbe"]
    assert dbl.calls_of("GetNbPtUneCourbe")[0].args[0] == struct.pack("<i", 0)
    assert vdate.tolist() == times[:4].tolist()
    assert vval.tolist() == (times[:4] * 2).tolist()
    assert_no_overrun(dbl.calls_of("GetUneCourbe")[0], (vdate, vval), 12)


def test_before_any_selection_the_count_is_asked_first(fresh):
    r = fresh(
        """
import struct
dbl.writes("GetNbPtUneCourbe", 1, struct.pack("<i", 50))
dbl.writes("GetUneCourbe", 1, np.arange(50, dtype=np.float64).tobytes())
dbl.writes("GetUneCourbe", 2, np.ones(50).tobytes())
keep = [M.result_ts(2) for _ in range(20)]
calls = dbl.calls_of("GetUneCourbe")
overlaps = 0
for call, (vdate, vval) in zip(calls, keep):
    for arg in (1, 2):
        lo, hi = call.addrs[arg], call.addrs[arg] + 50 * 8
        for a in (vdate, vval):
            if lo < a.ctypes.data + a.nbytes and a.ctypes.data < hi:
                overlaps += 1
result = [dbl.ops()[:2], keep[0][0].tolist(), keep[0][1].tolist(), overlaps, len(calls)]
"""
    )
    ops, vdate, vval, overlaps, reads = r.value
    assert ops == ["GetNbPtUneCourbe", "GetUneCourbe"]
    assert (vdate, vval) == ([0.0, 1.0], [1.0, 1.0])
    assert overlaps == 0
    assert reads == 20


def test_result_ts_at_load_reads_with_the_starting_codes(fresh):
    r = fresh(
        """
import struct
count = struct.pack("<i", 2)
dbl.writes("GetNbPtUneCourbe", 1, count)
dbl.writes("GetUneCourbe", 1, np.array([4.0, 5.0]).tobytes())
vdate, vval = M.result_ts(2)
result = [vdate.tolist(), vval.tolist(), dbl.calls_of("GetUneCourbe")[0].args[5].hex()]
"""
    )
    vdate, vval, area = r.value
    assert vdate == [4.0, 5.0]
    assert vval == [0.0, 0.0]
    assert bytes.fromhex(area) == bytes(64)


@pytest.mark.parametrize(
    "after",
    [
        ("ROB", "N1", "P"),
        ("NODE", "N1", "p"),
        ("NODE", "X" * 49, "P"),
    ],
)
def test_no_read_without_a_selection(dbl, after):
    opened(dbl)
    program_curve(dbl, [9.0] * 5, [9.0] * 5)
    M.size_ts(*after)
    vdate, vval = M.result_ts(5)
    assert vdate.tolist() == vval.tolist() == [0.0] * 5
    assert "GetUneCourbe" not in dbl.ops()


def test_no_read_when_a_code_is_set_to_minus_one(dbl):
    select_curve(dbl, 3)
    program_curve(dbl, [9.0] * 3, [9.0] * 3)
    M.pyvuzizi.qor_typelt = -1
    assert M.result_ts(3)[0].tolist() == [0.0] * 3
    M.pyvuzizi.qor_typelt = 40
    M.pyvuzizi.qor_attr = -1
    assert M.result_ts(3)[1].tolist() == [0.0] * 3
    assert dbl.ops() == []


def test_read_after_a_refused_count_still_reaches_the_engine(dbl):
    opened(dbl)
    dbl.returns("SetInfoCourbe", 0)
    M.size_ts("NODE", "N1", "P")
    dbl.reset()
    count_is(dbl, 2)
    program_curve(dbl, [1.0, 2.0], [5.0, 6.0])
    assert M.result_ts(2)[1].tolist() == [5.0, 6.0]
    assert dbl.ops()[-1] == "GetUneCourbe"


def test_read_does_not_look_at_the_engine_status(dbl):
    select_curve(dbl, 2)
    M.quit()
    dbl.reset()
    count_is(dbl, 2)
    program_curve(dbl, [1.0, 2.0], [3.0, 4.0])
    assert M.result_ts(2)[0].tolist() == [1.0, 2.0]
    assert dbl.ops()[-1] == "GetUneCourbe"


def test_a_new_run_makes_the_count_unknown_again(dbl):
    select_curve(dbl, 3)
    M.run_simulation(3600.0, 1.0)
    dbl.reset()
    count_is(dbl, 50)
    program_curve(dbl, np.arange(50.0), np.arange(50.0) + 100)
    vdate, vval = M.result_ts(3)
    assert dbl.ops() == ["GetNbPtUneCourbe", "GetUneCourbe"]
    assert vval.tolist() == [100.0, 101.0, 102.0]
    assert_no_overrun(dbl.calls_of("GetUneCourbe")[0], (vdate, vval), 50)


@pytest.mark.parametrize("status, written", [(0, 40), (1, None), (1, -5)])
def test_no_read_when_the_count_cannot_be_had(dbl, status, written):
    opened(dbl)
    dbl.returns("SetInfoCourbe", 0)
    M.size_ts("NODE", "N1", "P")
    dbl.reset()
    dbl.returns("GetNbPtUneCourbe", status)
    if written is not None:
        count_is(dbl, written)
    program_curve(dbl, [7.0] * 40, [7.0] * 40)
    vdate, vval = M.result_ts(3)
    assert vdate.tolist() == vval.tolist() == [0.0] * 3
    assert dbl.ops() == ["GetNbPtUneCourbe"]


def test_each_read_fills_fresh_zeroed_arrays(dbl):
    select_curve(dbl, 3)
    program_curve(dbl, [1.0, 2.0, 3.0], [4.0, 5.0, 6.0])
    first = M.result_ts(3)
    dbl.silent("GetUneCourbe", 1)
    dbl.silent("GetUneCourbe", 2)
    second = M.result_ts(3)
    assert first[0].tolist() == [1.0, 2.0, 3.0]
    assert second[0].tolist() == second[1].tolist() == [0.0] * 3
    assert second[0].ctypes.data != first[0].ctypes.data


def test_engine_output_area_is_one_module_wide_area(dbl):
    select_curve(dbl, 1)
    M.result_ts(1)
    M.result_ts(1)
    a, b = dbl.calls_of("GetUneCourbe")
    assert a.addrs[5] == b.addrs[5]
    assert len(a.args[5]) == 64


@settings(max_examples=150, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(
    core=st.text(st.characters(min_codepoint=32, max_codepoint=126), max_size=CURVE_ID_WIDTH + 6),
    trailing=st.integers(0, 3),
)
def test_any_identifier_is_selected_whole_or_refused(dbl, core, trailing):
    opened(dbl)
    eid = core + " " * trailing
    significant = eid.rstrip(" ").encode()
    M.size_ts("NODE", eid, "P")
    if len(significant) > CURVE_ID_WIDTH:
        assert dbl.ops() == []
        assert selection()[:2] == (-1, -1)
        return
    assert selected_record(dbl)[8:8 + CURVE_FIELD] == curve_field(significant)
    assert selection() == (40, 2, eid.encode()[:CURVE_ID_WIDTH].ljust(CURVE_ID_WIDTH))
