"""Runs and results: equal to the raw module's, every refusal, stale and failed runs, tables."""
import sys

import numpy as np
import pytest

import _pyQorvane as raw
import qorvane

HORIZON = 3.0
CURVES = [("node", "J5", "pressure", "NODE", "P"), ("node", "LAKE", "outflow", "NODE", "NC"),
          ("pipe", "P4", "velocity", "LINK", "VR"), ("pipe", "P1", "end_flow", "LINK", "DO"),
          ("pump", "PU1", "head_gain", "PUMP", "PC"), ("valve", "V1", "opening", "VANNE", "VO"),
          ("tank", "T1", "level", "TANK", "NC"), ("surge_tank", "ST1", "volume", "CHEMINEE", "VO"),
          ("air_vessel", "AV1", "gas_volume", "BALLON", "VO"), ("relief_valve", "RV1", "discharge", "ANB", "Q")]


def test_curves_equal_the_raw_modules_value_for_value(every_kind):
    with qorvane.Model(every_kind) as model:
        demand = model.node("J5").demand
        model.set_demand("J5", [0.0, 1.0, 1.05], [demand, demand, 0.0])
        results = model.run(HORIZON, 2)
        curves = [results.curve(kind, eid, quantity) for kind, eid, quantity, _, _ in CURVES]
    raw.init(0)
    assert raw.loadmodel(str(every_kind)) == 0
    raw.set_col_node("J5", "CS", np.array([0.0, 1.0, 1.05], np.float32), np.array([demand, demand, 0.0], np.float32))
    assert raw.run_simulation(HORIZON, 2) & 1
    for curve, (_, eid, _, typelt, attribut) in zip(curves, CURVES):
        times, values = raw.result_ts(raw.size_ts(typelt, eid, attribut))
        assert times.size > 1 and np.array_equal(curve.times, times) and np.array_equal(curve.values, values)
    raw.quit()
    assert [c.unit for c in curves] == ["m", "LPS", "m/s", "LPS", "m", "-", "m", "m3", "m3", "LPS"]


def test_refusals_of_run_and_curve(pumping_main):
    with qorvane.Model(pumping_main) as model:
        for horizon, store_every in [(0.0, 1), (-1.0, 1), (float("nan"), 1), (1e39, 1), (1e-46, 1), (1.0, 0),
                                     (1.0, 1.5), (1.0, True), ("5", 1)]:
            for call in (model.run, model.plan):
                with pytest.raises(ValueError, match="horizon|store_every"):
                    call(horizon, store_every)
        results = model.run(1.0)
        for args, error, message in [
            (("pipe", "P4", "pressure"), qorvane.ResultsError, "a pipe has no quantity 'pressure'; it has flow, "
                                                               "headloss, velocity, end_flow"),
            (("links", "P4", "flow"), qorvane.ResultsError, "no element kind 'links'; the kinds are node, pipe"),
            (("pipe", "PU1", "flow"), qorvane.UnknownElementError, "no pipe 'PU1'")]:
            with pytest.raises(error, match=message):
                results.curve(*args)


def test_failed_or_later_runs_leave_nothing_readable(pumping_main):
    with qorvane.Model(pumping_main) as model:
        first = model.run(1.0)
        second = model.run(1.0)
        with pytest.raises(qorvane.StaleResultsError):
            first.curve("node", "J5", "head")
        kept = second.detach([("node", "J5", "head")])
        with pytest.raises(qorvane.RunError, match="storage factor of .* would fit"):
            model.run(1e6)  # within the work limit, beyond the memory limit
        with pytest.raises(qorvane.StaleResultsError):
            second.curve("node", "J4", "head")
        with pytest.raises(TypeError, match="detach"):
            __import__("pickle").dumps(second)
    assert kept.curve("node", "J5", "head").values.size > 0  # detached curves outlive the engine
    with pytest.raises(qorvane.ResultsError, match="hold no curve node J4 head"):
        kept.curve("node", "J4", "head")


def test_frame_holds_the_curves(every_kind, monkeypatch):
    with qorvane.Model(every_kind) as model:
        results = model.run(1.0)
        table = results.frame("flow", ["P4", "PU1", "V1"])
        assert np.array_equal(table["V1"].to_numpy(), results.curve("valve", "V1", "flow").values)
        assert np.array_equal(table.index.to_numpy(), results.curve("pipe", "P4", "flow").times)
        assert table.attrs["units"]["PU1"] == "LPS"
        with pytest.raises(qorvane.UnknownElementError, match="no element 'J5' has a flow"):
            results.frame("flow", ["J5"])
        monkeypatch.setitem(sys.modules, "pandas", None)
        with pytest.raises(ImportError, match="needs pandas"):
            results.frame("flow", ["P4"])
