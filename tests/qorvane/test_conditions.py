"""Boundary conditions: every refusal before the raw call, and the engine's refusal."""
import numpy as np
import pytest

import qorvane

GOOD_TIMES, GOOD_VALUES = [0.0, 1.0], [40.0, 0.0]


@pytest.mark.parametrize("setter, node, times, values, error, message", [
    ("set_demand", "NOPE", GOOD_TIMES, GOOD_VALUES, qorvane.UnknownElementError, "no node 'NOPE'"),
    ("set_demand", "LAKE", GOOD_TIMES, GOOD_VALUES, qorvane.ConditionError, "junctions only"),
    ("set_head", "J5", list(range(21)), [1.0] * 21, qorvane.ConditionError, "21 points"),
    ("set_head", "J5", [], [], qorvane.ConditionError, "0 points"),
    ("set_head", "J5", [0.0, 2.0, 1.0], [1, 2, 3], qorvane.ConditionError, r"point 2 \(1 s\) comes before"),
    ("set_pressure", "J5", [0.0, 1.0], [1.0, np.nan], qorvane.ConditionError, "value nan at point 1"),
    ("set_pressure", "J5", [0.0, 1e39], [1.0, 2.0], qorvane.ConditionError, "time 1e\\+39 at point 1"),
    ("set_pressure", "J5", [0.0, 1.0], [1.0], qorvane.ConditionError, "2 times but 1 values"),
    ("set_pressure", "J5", [[0.0]], [[1.0]], qorvane.ConditionError, "one-dimensional"),
    ("set_pressure", "J5", ["a"], [1.0], qorvane.ConditionError, "must be numbers"),
])
def test_bad_series_are_refused_before_the_raw_call(pumping_main, monkeypatch, setter, node, times, values, error,
                                                    message):
    with qorvane.Model(pumping_main) as model:
        monkeypatch.setattr(qorvane.model.raw, "set_col_node", pytest.fail)
        with pytest.raises(error, match=message):
            getattr(model, setter)(node, times, values)


def test_engine_refusal_raises(pumping_main, monkeypatch):
    with qorvane.Model(pumping_main) as model:
        monkeypatch.setattr(qorvane.model.raw, "set_col_node", lambda *args: 0)
        with pytest.raises(qorvane.ConditionError, match=r"refused the CH series at node 'J5' \(status 0\)"):
            model.set_head("J5", GOOD_TIMES, GOOD_VALUES)
