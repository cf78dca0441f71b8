"""get_unit_info: code positions, unit names as the engine writes them, and the coefficient."""
import struct

import numpy as np
import pytest

import _pyQorvane as M

UNIT_CODES = ["T ", "Z ", "CH", "P ", "CS", "S ", "VO", "L ", "D ", "Q ", "V ", "RH", "VR", "RL", "W "]


def unit_record(name: bytes, coef: float, spare: int = 0) -> bytes:
    assert len(name) == 7
    return name + bytes([spare]) + struct.pack("<d", coef)


def engine_answers(dbl, cur: bytes, ref: bytes, coef: float = 1.0):
    dbl.writes("GetUnitCourante", 1, unit_record(cur, coef))
    dbl.writes("GetUnitRef", 1, ref)


def positions(dbl):
    cur = [struct.unpack("<h", c.args[0])[0] for c in dbl.calls_of("GetUnitCourante")]
    ref = [struct.unpack("<h", c.args[0])[0] for c in dbl.calls_of("GetUnitRef")]
    assert cur == ref
    return cur


@pytest.mark.parametrize(
    "sattr, position",
    [(code, i + 1) for i, code in enumerate(UNIT_CODES)]
    + [("T", 1), ("W", 15), ("CHX", 3), (b"P", 4), ("VOLUME", 7), ("RHO", 12), (b"Q\0", 10)],
)
def test_code_gives_its_position(dbl, sattr, position):
    M.get_unit_info(sattr)
    assert dbl.ops() == ["GetUnitCourante", "GetUnitRef"]
    assert positions(dbl) == [position]


@pytest.mark.parametrize("sattr", ["ch", " T", "", "  ", None, "X", "t", "TX", "C", "WW", "QV"])
def test_unknown_code_calls_nothing(dbl, sattr):
    assert M.get_unit_info(sattr) == (1.0, b"", b"")
    assert dbl.ops() == []


@pytest.mark.parametrize(
    "cur, ref, ncur, nref",
    [
        (b"ABCDEFG", b"HIJKLMNX", b"ABCDEF", b"HIJKLM"),
        (b"m3/h   ", b"m3/s    ", b"m3/h", b"m3/s"),
        (b"mCE    ", b"bar    \0", b"mCE", b"bar"),
        (b" kPa   ", b"  Pa   Z", b" kPa", b"  Pa"),
        (b"l / s  ", b"l/min  !", b"l / s", b"l/min"),
        (b"      Y", b"      ZZ", b"", b""),
        (b"bar\0xyz", b"m\0aaaaaa", b"bar", b"m"),
        (b"\0abcdef", b"degC    ", b"", b"degC"),
        (b"       ", b"        ", b"", b""),
    ],
)
def test_unit_names(dbl, cur, ref, ncur, nref):
    assert len(ref) == 8
    engine_answers(dbl, cur, ref, 2.0)
    assert M.get_unit_info("P") == (2.0, ncur, nref)


@pytest.mark.parametrize("coef", [0.1, 1.0 / 3.0, 1e-3, -2.5, 9.80665, 1e-40, 0.0])
def test_coefficient_rounded_to_single_precision(dbl, coef):
    engine_answers(dbl, b"u      ", b"v      ", coef)
    assert M.get_unit_info("Q")[0] == float(np.float32(coef))


def test_spare_byte_of_the_record_is_not_read(dbl):
    dbl.writes("GetUnitCourante", 1, unit_record(b"ABCDEFG", 4.0, spare=ord("H")))
    dbl.writes("GetUnitRef", 1, b"abcdefgh")
    assert M.get_unit_info("D") == (4.0, b"ABCDEF", b"abcdef")


def test_earlier_answers_stay_when_the_engine_writes_nothing(dbl):
    engine_answers(dbl, b"kg     ", b"g       ", 0.5)
    M.get_unit_info("W")
    dbl.silent("GetUnitCourante", 1)
    dbl.silent("GetUnitRef", 1)
    assert M.get_unit_info("T") == (0.5, b"kg", b"g")
    # A code that matches nothing does not report the kept values.
    assert M.get_unit_info("zz") == (1.0, b"", b"")


def test_records_start_as_zero_bytes(fresh):
    r = fresh(
        """
coef, ncur, nref = M.get_unit_info("CH")
result = [coef, ncur.hex(), nref.hex(), dbl.calls_of("GetUnitCourante")[0].args[1].hex(),
          dbl.calls_of("GetUnitRef")[0].args[1].hex()]
"""
    )
    assert r.value == [0.0, "", "", "00" * 16, "00" * 8]


def test_query_writes_no_line_and_needs_no_open_engine(dbl, capsys):
    M.init(2)
    M.quit()
    dbl.reset()
    capsys.readouterr()
    engine_answers(dbl, b"s      ", b"h      ", 3600.0)
    assert M.get_unit_info("T") == (3600.0, b"s", b"h")
    M.get_unit_info("??")
    assert capsys.readouterr().out == ""
    assert dbl.ops() == ["GetUnitCourante", "GetUnitRef"]
