"""TSNet's example Tnet1: its valve VALVE, wide open with no loss of its own, closed linearly over 2 s.

TSNet 0.3.1 (1000 m/s, 30 s, pressure-dependent demands) gives N7 a steady head of 190.72 m and a peak
of 210.03 m; it takes a valve ending at a dead-end demand node as a prescribed flow, Q = Q0 * opening,
which `DEADENDVALVES FLOW` selects here.
"""

from pathlib import Path

import numpy as np
import pytest

NETWORK = Path(__file__).resolve().parent.parent / "engine" / "data" / "Tnet1.inp"

TSNET_STEADY = 190.72  # m at N7
TSNET_PEAK = 210.03    # m at N7
STEADY_FLOW = 100.0    # l/s through VALVE, N8's demand
CLOSURE = "[WAVESPEEDS]\nDEFAULT 1000\n[VALVEMOTIONS]\nVALVE 0 1\nVALVE 2 0\n"


def run(engine, tmp_path, transient_options):
    text = NETWORK.read_text().replace("[END]", "") + CLOSURE + "[TRANSIENT]\n" + transient_options
    path = tmp_path / "tnet1_closure.inp"
    path.write_text(text)
    assert engine.loadmodel(str(path)) == 0
    status = engine.run_simulation(30.0, 1.0)
    curves = {}
    for element, name, attribute in (("NODE", "N7", "CH"), ("VANNE", "VALVE", "Q")):
        count = engine.size_ts(element, name, attribute)
        curves[attribute] = tuple(np.asarray(a) for a in engine.result_ts(count)) if count > 0 else None
    return status, curves


@pytest.mark.parametrize("options, peak_low, peak_high", [
    # TSNet's law: the valve's flow falls linearly with its opening.
    ("DEMANDS ORIFICE\nDEADENDVALVES FLOW\n", 0.97 * TSNET_PEAK, 1.03 * TSNET_PEAK),
    # The loss law: a fully open gate valve's loss over the opening squared is small beside N8's
    # orifice until the last few per cent of the travel, so the flow stops almost at once.
    ("DEMANDS ORIFICE\n", 1.03 * TSNET_PEAK, 1.10 * TSNET_PEAK),
])
def test_closure_raises_n7_as_tsnet_and_stops_the_flow(engine, tmp_path, options, peak_low, peak_high):
    status, curves = run(engine, tmp_path, options)
    assert status & 1
    times, heads = curves["CH"]
    _, flows = curves["Q"]
    assert heads[0] == pytest.approx(TSNET_STEADY, abs=0.01)
    assert peak_low <= heads.max() <= peak_high
    assert flows[0] == pytest.approx(STEADY_FLOW, rel=1e-6)
    assert np.all(flows[times >= 2.0] == 0.0)
    closing = times < 2.0
    linear = STEADY_FLOW * (1.0 - times[closing] / 2.0)
    if "FLOW" in options:
        assert np.allclose(flows[closing], linear, rtol=1e-6)
    else:
        assert flows[np.searchsorted(times, 1.5)] > 0.99 * STEADY_FLOW


def test_closure_that_cuts_off_a_fixed_demand_fails_naming_it(engine, tmp_path, capfd):
    engine.init(1)
    status, curves = run(engine, tmp_path, "DEMANDS FIXED\n")
    assert status % 2 == 0
    assert curves["CH"] is None
    err = capfd.readouterr().err
    # Its head falls below vapour head before the valve is shut (at 1.95 s, the valve at 2.6 % open).
    assert "junction N8: valve VALVE no longer passes its fixed demand of 0.1 m3/s at t = 1.9" in err, err
    assert "DEMANDS ORIFICE" in err, err
