"""Valve motions, pump trips and run options set from Python: they act on the runs, replace the file's own
lines, keep the boundary conditions, leave the user's file alone, and are refused when wrong."""
import numpy as np
import pytest

import qorvane
from conftest import EVERY_KIND

# The file's own events, which those set from Python must replace rather than add to.
FILE_EVENTS = EVERY_KIND.replace("[END]", """[VALVEMOTIONS]
 V1 0 1
 V1 1.5 0.5
[PUMPTRIPS]
 PU1 0.2
[TRANSIENT]
 COLUMNSEPARATION YES
[END]""")
TSNET_N7_PEAK = 210.03  # m: TSNet's peak head at N7 of Tnet1 for this closure
PEAK_TOLERANCE = 0.03


def values_at(curve, time):
    return float(np.interp(time, curve.times, curve.values))


def test_events_act_replace_the_files_own_and_keep_conditions(tmp_path):
    path = tmp_path / "events.inp"
    path.write_text(FILE_EVENTS)
    with qorvane.Model(path) as model:
        demand = model.node("J5").demand
        model.set_demand("J5", [0.0, 0.5, 0.55], [demand, demand, 0.0])
        model.move_valve("V1", [0.0, 1.0, 1.2], [1.0, 1.0, 0.3])
        model.trip_pump("PU1", 0.8)
        model.transient(time_step=0.01)
        results = model.run(2.0)
        opening, speed = results.curve("valve", "V1", "opening"), results.curve("pump", "PU1", "speed")
        assert (values_at(opening, 0.5), values_at(opening, 1.5)) == (1.0, pytest.approx(0.3))
        assert values_at(speed, 0.5) == 1.0 and values_at(speed, 1.0) == 0.0
        assert np.diff(results.curve("node", "J5", "head").times)[0] == pytest.approx(0.01)
        assert values_at(results.curve("node", "J5", "outflow"), 1.5) == pytest.approx(0.0, abs=1e-9)
        with pytest.raises(qorvane.ResultsError, match="no cavity_volume curve"):  # the options replaced YES
            results.curve("node", "J5", "cavity_volume")
        model.clear_conditions()
        model.clear_events()  # the file's own events act again
        results = model.run(2.0)
        assert values_at(results.curve("node", "J5", "outflow"), 1.5) == pytest.approx(demand)
        assert values_at(results.curve("valve", "V1", "opening"), 1.5) == pytest.approx(0.5)
        assert values_at(results.curve("pump", "PU1", "speed"), 0.5) == 0.0
        results.curve("node", "J5", "cavity_volume")
    assert path.read_text() == FILE_EVENTS and [p.name for p in tmp_path.iterdir()] == ["events.inp"]


@pytest.mark.parametrize("call, error, message", [
    (lambda m: m.move_valve("P1", [0], [1]), qorvane.UnknownElementError, "no valve 'P1'"),
    (lambda m: m.trip_pump("V1", 1.0), qorvane.UnknownElementError, "no pump 'V1'"),
    (lambda m: m.move_valve("V1", [0, 1], [1, 1.5]), qorvane.ConditionError, r"opening 1.5 at point 1 is not in"),
    (lambda m: m.move_valve("V1", [0, 2, 1], [1, 1, 0]), qorvane.ConditionError, r"point 2 \(1 s\) comes before"),
    (lambda m: m.move_valve("V1", [-1], [1]), qorvane.ConditionError, "time -1.0 at point 0"),
    (lambda m: m.move_valve("V1", [0, 1], [1]), qorvane.ConditionError, "of one length"),
    (lambda m: m.trip_pump("PU1", float("nan")), qorvane.ConditionError, "time must be a finite number"),
    (lambda m: m.trip_pump("PU1", 1.0, inertia=2.0), qorvane.ConditionError, "together, or none"),
    (lambda m: m.trip_pump("PU1", 1.0, inertia=2.0, rated_speed=1450, efficiency=1.2), qorvane.ConditionError,
     r"efficiency must be in \(0, 1\]"),
    (lambda m: m.transient(demands="pdd"), qorvane.ConditionError, "demands must be one of 'fixed', 'orifice'"),
    (lambda m: m.transient(time_step=0.0), qorvane.ConditionError, "time_step must be a positive"),
    (lambda m: m.transient(dead_end_valves="tsnet"), qorvane.ConditionError,
     "dead_end_valves must be one of 'loss', 'flow'"),
    (lambda m: m.transient(travel_times="exact"), qorvane.ConditionError,
     "travel_times must be one of 'adjust', 'interpolate'"),
    (lambda m: m.transient(column_separation=True, vapour_pressure=20.0), qorvane.ConditionError,
     r"(?s)refused the events set from Python: .*every_kind.inp with the events set from Python:\d+: error 13: "
     r".*vapour"),
])
def test_bad_events_are_refused_and_the_model_stays_as_it_was(every_kind, call, error, message):
    with qorvane.Model(every_kind) as model:
        model.move_valve("V1", [0.0, 0.5], [1.0, 0.5])
        with pytest.raises(error, match=message):
            call(model)
        opening = model.run(1.0).curve("valve", "V1", "opening")
        assert values_at(opening, 0.9) == pytest.approx(0.5)


def test_tnet1_valve_closure_matches_tsnet(tnet1):
    with qorvane.Model(tnet1) as model:
        model.move_valve("VALVE", [0, 2], [1, 0])
        model.transient(demands="orifice")
        by_loss = model.run(30).curve("node", "N7", "head").values.max()
        model.transient(demands="orifice", dead_end_valves="flow")
        by_flow = model.run(30).curve("node", "N7", "head").values.max()
    # TSNet prescribes the flow of a valve to a dead end; the loss law stops it sooner, for a higher peak.
    assert by_flow == pytest.approx(TSNET_N7_PEAK, rel=PEAK_TOLERANCE)
    assert by_loss > by_flow
