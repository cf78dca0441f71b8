"""Reading results: every node at a time, one id as a str, link and reservoir curves, what the reprs say."""
import re

import numpy as np
import pytest

import qorvane

HORIZON = 1.0


@pytest.fixture
def run(every_kind):
    with qorvane.Model(every_kind) as model:
        model.set_demand("J5", [0.0, 0.2, 0.25], [20.0, 20.0, 0.0])  # so that values change over the run
        yield model, model.run(HORIZON)


def test_at_gives_every_node_at_the_nearest_stored_time(run):
    model, results = run
    times = results.curve("node", "J5", "head").times
    step = times[1] - times[0]
    for asked, position in [(0.0, 0), (times[10] + 0.4 * step, 10), (times[10] + 0.6 * step, 11),
                            (HORIZON, times.size - 1)]:
        table = results.at(asked)
        assert table.attrs["time"] == times[position] and list(table.index) == list(model.nodes)
        assert list(table.columns) == ["head", "outflow", "pressure"]  # no cavity volume without column separation
        for node in model.nodes:
            for quantity in table.columns:
                assert table.loc[node, quantity] == results.curve("node", node, quantity).values[position]
    assert table.attrs["units"] == {"head": "m", "outflow": "LPS", "pressure": "m"}
    for bad in (-0.1, HORIZON + 0.1, float("nan"), "0.5", True):
        with pytest.raises(ValueError, match="time must be a number of seconds from 0 to the horizon 1"):
            results.at(bad)
    kept = results.detach([("node", "J2", "head"), ("node", "J5", "head"), ("node", "J5", "pressure")])
    model.close()
    table = kept.at(0.5)
    assert list(table.index) == ["J2", "J5"] and list(table.columns) == ["head"]


def test_at_has_the_cavity_volume_with_column_separation(every_kind_with):
    with qorvane.Model(every_kind_with("[OPTIONS]", "[TRANSIENT]\n COLUMNSEPARATION YES\n[OPTIONS]")) as model:
        table = model.run(0.1).at(0.1)
    assert list(table.columns) == ["head", "outflow", "pressure", "cavity_volume"]
    assert table.attrs["units"]["cavity_volume"] == "m3"


def test_frame_of_one_id_and_link_and_reservoir_kinds(run):
    _, results = run
    assert results.frame("flow", "P4").equals(results.frame("flow", ["P4"]))
    for alias, id, kind, quantity in [("link", "P4", "pipe", "flow"), ("link", "PU1", "pump", "flow"),
                                      ("link", "V1", "valve", "headloss"), ("reservoir", "LAKE", "node", "outflow")]:
        curve, own = results.curve(alias, id, quantity), results.curve(kind, id, quantity)
        assert curve.kind == alias and np.array_equal(curve.values, own.values) and curve.unit == own.unit
    assert list(results.frame("flow", ["P4", "PU1"], kind="link").columns) == ["P4", "PU1"]
    for args, error, message in [
        (("link", "PU1", "headloss"), qorvane.ResultsError, "link 'PU1' is a pump, which has no headloss curve; "
                                                           "it has flow, head_gain, speed"),
        (("reservoir", "J1", "head"), qorvane.UnknownElementError, "no reservoir 'J1'"),
        (("links", "P4", "flow"), qorvane.ResultsError, "no element kind 'links'; the kinds are node, .*, link, "
                                                        "reservoir"),
    ]:
        with pytest.raises(error, match=message):
            results.curve(*args)


def test_reprs_say_what_they_hold(run):
    model, results = run
    curve = results.curve("node", "J5", "pressure")
    assert re.fullmatch(r"<qorvane\.Curve node 'J5' pressure: \d+ points from 0 to 1 s, [-\d.]+ to [-\d.]+ m>",
                        repr(curve))
    assert re.fullmatch(r"<qorvane\.Model '.*every_kind\.inp' open: 8 nodes, 7 links; flow in LPS, length in m, "
                        r"pressure in m>", repr(model))
    assert repr(results) == "<qorvane.Results of every_kind.inp up to 1 s, every step, live: 1 curves read>"
    kept = results.detach([("node", "J5", "pressure")])
    model.run(HORIZON)
    assert ", stale:" in repr(results) and ", detached: 1 curves read>" in repr(kept)
