"""The demo end to end on a shortened horizon, checked against the physics of its scenario."""
import math
import sys
from pathlib import Path

import numpy as np
import pytest

EXAMPLES = Path(__file__).resolve().parents[2] / "examples"
sys.path.insert(0, str(EXAMPLES))
import demo  # noqa: E402

GRAVITY = 9.81
WAVE_SPEED = 1000.0          # m/s, the network's default
LAST_PIPE_DIAMETER = 0.300   # m, pipe P4 leading to the factory
LAST_PIPE_LENGTH = 600.0     # m


@pytest.fixture(scope="module")
def outcome():
    return demo.simulate(horizon=5.0)


def test_first_pressure_rise_is_the_joukowsky_value(outcome):
    times, pressures = outcome.pressures[demo.STOP_NODE]
    stopped_velocity = outcome.stopped_demand / 1000.0 / (math.pi * LAST_PIPE_DIAMETER**2 / 4)
    joukowsky = WAVE_SPEED * stopped_velocity / GRAVITY
    # After the intake has closed and before the wave reflected at J4 comes back.
    window = (times > demo.STOP_END + 0.05) & (times < demo.STOP_START + 2 * LAST_PIPE_LENGTH / WAVE_SPEED - 0.05)
    rise = pressures[window].min() - pressures[0]
    assert rise == pytest.approx(joukowsky, rel=0.03)


def test_nothing_moves_before_the_intake_closes(outcome):
    for times, pressures in outcome.pressures.values():
        before = times < demo.STOP_START
        assert np.allclose(pressures[before], pressures[0], atol=1e-6)


def test_table_and_plot(tmp_path, capsys):
    plot = tmp_path / "waves.png"
    assert demo.main(["--horizon", "3", "--plot", str(plot)]) == 0
    out = capsys.readouterr().out
    assert "pressure at J5" in out and "gas volume of AV1" in out
    if "matplotlib is not installed" not in out:
        assert plot.stat().st_size > 0 and (tmp_path / demo.MAP_NAME).stat().st_size > 0


def test_failure_is_reported_with_a_clear_message(monkeypatch, capsys):
    monkeypatch.setattr(demo, "NETWORK", EXAMPLES / "networks" / "missing.inp")
    assert demo.main(["--no-plot"]) == 1
    assert "loading" in capsys.readouterr().err
