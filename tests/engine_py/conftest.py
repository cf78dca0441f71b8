"""Fixtures of the engine tests through the module: an opened engine, closed after each test."""

from pathlib import Path

import pytest

import _pyQorvane

DATA = Path(__file__).resolve().parent.parent / "engine" / "data"


@pytest.fixture
def engine():
    """The module over the stand-in engine, opened silently; closed again afterwards."""
    _pyQorvane.init(0)
    yield _pyQorvane
    _pyQorvane.quit()


@pytest.fixture
def si_model(tmp_path):
    """A small SI model with known demands, written to a file."""
    path = tmp_path / "small.inp"
    path.write_text(
        "[RESERVOIRS]\nR1 100\n[JUNCTIONS]\nJ1 20 5\nJ2 15 10\n"
        "[PIPES]\nP1 R1 J1 1000 300 120\nP2 J1 J2 500 200 120\n"
        "[OPTIONS]\nUNITS LPS\nPRESSURE KPA\n"
    )
    return path
