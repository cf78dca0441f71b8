"""Bundled networks and the sweep example."""
import pytest

import qorvane
from qorvane.examples import sweep


def test_bundled_networks():
    assert qorvane.examples.path("pumping_main").is_file()
    with pytest.raises(LookupError, match="no example network 'nope'; there are: pumping_main"):
        qorvane.examples.path("nope")


def test_sweep_example_prints_a_falling_peak(capsys):
    assert sweep.main(["--count", "3", "--workers", "2"]) == 0
    rows = [line.split() for line in capsys.readouterr().out.splitlines()[1:]]
    peaks = [float(row[1]) for row in rows]
    assert len(rows) == 3 and peaks == sorted(peaks, reverse=True) and rows[0][2] == "m"
