"""The package's reader splits a model file as the engine does: identifiers the engine loads are the ones listed."""
import pytest

import qorvane
from qorvane.inp_text import parse_number

# Characters that str.split() takes for blanks but the engine keeps inside an identifier, and bytes
# that are not UTF-8.
ODD_IDENTIFIERS = ["J\u00a01", "J\u20031", "J\x851", "J\x1c1", "J\f1", "J\v1", "J\xff1"]


def model_text(junction: str) -> str:
    return f"""[junctions]
 {junction} 100 1 ;a comment
\f J2 100 0\v
[Reservoirs]
 R 120
[PIPES]
 P1 R {junction} +1.5e2 300 130
 P2 {junction} J2 100 300 130
[COORDINATES]
 {junction} 1 2
[WAVESPEEDS]
 default 900
 P2 800
 P2 700
[END]
 GHOST 1 1
"""


@pytest.mark.parametrize("junction", ODD_IDENTIFIERS)
def test_identifiers_are_the_engines(tmp_path, junction):
    path = tmp_path / "odd.inp"
    path.write_bytes(model_text(junction).encode("utf-8", "surrogateescape").replace(b"\xc3\xbf", b"\xff"))
    expected = junction.encode("utf-8").replace(b"\xc3\xbf", b"\xff").decode("utf-8", "surrogateescape")
    with qorvane.Model(path) as model:
        assert model.junctions == (expected, "J2") and model.reservoirs == ("R",)
        assert model.node(expected).index > 0 and model.node(expected).coordinates == (1.0, 2.0)
        pipe = model.pipe("P1")
        assert (pipe.start, pipe.end, pipe.length, pipe.wave_speed) == ("R", expected, 150.0, 900.0)
        assert model.pipe("P2").wave_speed == 700.0  # a later line wins


@pytest.mark.parametrize("field, value", [
    ("12", 12.0), ("+1.5e2", 150.0), ("-.5", -0.5), ("3.", 3.0), ("1E-3", 1e-3),
    ("++1", None), ("1_000", None), ("inf", None), ("1e999", None), ("0x10", None), ("\u0661", None), ("1e", None),
    (".", None), ("", None),
])
def test_numbers_read_as_the_engine_reads_them(field, value):
    assert parse_number(field) == value
