"""The package's reader splits a model file as the engine does: identifiers the engine loads are the ones listed."""
import sys

import pytest

import qorvane
from qorvane.inp_text import FIELD_SEPARATORS, parse_number

# Every character str.split() takes for a blank that the engine keeps inside a field (no-break and other
# Unicode spaces, C1 next-line, information separators, form feed and vertical tab between two characters).
INNER = [chr(c) for c in range(sys.maxunicode + 1) if chr(c).isspace() and chr(c) not in FIELD_SEPARATORS + "\n"]
NOT_UTF8 = "J\udcff"  # the byte 0xff as the reader decodes it


def test_identifiers_are_the_engines(tmp_path):
    junctions = [f"J{c}{i}" for i, c in enumerate(INNER)] + [NOT_UTF8]
    unreachable = "J\x00"  # loaded by the engine, but the module ends a text at a zero byte
    lines = ["[junctions]", *(f" {j} 100 1 ;demand" for j in junctions), "\f J2 100 0\v", f" {unreachable} 100 0",
             "[Reservoirs]", " R 120", "[PIPES]", " PA R J2 +1.5e2 300 130", f" PZ J2 {unreachable} 100 300 130",
             *(f" P{i} J2 {j} 100 300 130" for i, j in enumerate(junctions)),
             "[COORDINATES]", f" {junctions[0]} 1 2", "[WAVESPEEDS]", " default 900", " P0 800", " P0 700",
             "[END]", " GHOST 1 1"]
    path = tmp_path / "odd.inp"
    path.write_bytes("\n".join(lines).encode("utf-8", "surrogateescape"))
    with qorvane.Model(path) as model:
        assert model.junctions == (*junctions, "J2", unreachable) and model.reservoirs == ("R",)
        assert all(model.node(j).index > 0 for j in junctions)
        with pytest.raises(qorvane.UnknownElementError, match="holds a zero byte"):
            model.node(unreachable)
        assert model.node(junctions[0]).coordinates == (1.0, 2.0)
        assert (model.pipe("PA").start, model.pipe("PA").length, model.pipe("PA").wave_speed) == ("R", 150.0, 900.0)
        assert (model.pipe("P0").end, model.pipe("P0").wave_speed) == (junctions[0], 700.0)  # a later line wins


@pytest.mark.parametrize("field, value", [
    ("12", 12.0), ("+1.5e2", 150.0), ("-.5", -0.5), ("3.", 3.0), ("1E-3", 1e-3),
    ("++1", None), ("1_000", None), ("inf", None), ("1e999", None), ("0x10", None), ("\u0661", None), ("1e", None),
    (".", None), ("", None),
])
def test_numbers_read_as_the_engine_reads_them(field, value):
    assert parse_number(field) == value
