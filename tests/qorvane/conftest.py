"""Fixtures of the package tests: the bundled network and a model with every kind of element."""
from pathlib import Path

import pytest

import qorvane

EVERY_KIND = """
[JUNCTIONS]
 J0 98 0
 J1 100 0
 J2 108 10
 J3 112 15
 J4 110 10
 J5 104 20
[RESERVOIRS]
 LAKE 100
[TANKS]
 T1 110 5 0 10 10
[PIPES]
 P0 LAKE J0 50 400 130
 P1 J1 J2 1200 300 130
 P2 J2 J3 1500 300 130
 P4 J4 J5 600 300 130
 P9 J2 T1 100 200 130
[PUMPS]
 PU1 J0 J1 HEAD PC1
[VALVES]
 V1 J3 J4 300 TCV 0
[CURVES]
 PC1 80 62
[SURGETANKS]
 ST1 J3 5
[AIRVESSELS]
 AV1 J1 2.0
[RELIEFVALVES]
 RV1 J5 80 100 0.6
[OPTIONS]
 UNITS LPS
[END]
 J9 1 1
"""


@pytest.fixture
def every_kind(tmp_path: Path) -> Path:
    path = tmp_path / "every_kind.inp"
    path.write_text(EVERY_KIND)
    return path


@pytest.fixture
def pumping_main() -> Path:
    return qorvane.examples.path("pumping_main")


@pytest.fixture
def every_kind_with(tmp_path: Path):
    """Writes the model with every kind of element, one text of it replaced, and gives its path."""
    def write(old: str, new: str) -> Path:
        assert old in EVERY_KIND
        path = tmp_path / "every_kind_variant.inp"
        path.write_text(EVERY_KIND.replace(old, new))
        return path
    return write


@pytest.fixture
def tnet1() -> Path:
    """TSNet's example network Tnet1, as TSNet distributes it."""
    return Path(__file__).parent / "data" / "Tnet1.inp"
