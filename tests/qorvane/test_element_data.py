"""Element data: node pressure in the curves' unit, coordinates, pipe data with wave speeds, the summary."""
import sys
from pathlib import Path

import pytest

import qorvane

NET3 = Path(__file__).parents[1] / "engine" / "data" / "Net3.inp"  # US units, with coordinates


@pytest.mark.parametrize("options, pressure_unit", [
    ("UNITS LPS", "m"), ("UNITS GPM", "psi"), ("UNITS LPS\n PRESSURE KPA", "kPa"), ("UNITS CFS\n PRESSURE FEET", "ft"),
])
def test_node_pressure_is_the_pressure_curves_start(every_kind_with, options, pressure_unit):
    with qorvane.Model(every_kind_with("UNITS LPS", options)) as model:
        results = model.run(0.1)
        for node in model.nodes:
            data, curve = model.node(node), results.curve("node", node, "pressure")
            assert data.pressure == pytest.approx(curve.values[0], rel=1e-4, abs=1e-4), node
            assert data.units["pressure"] == curve.unit == model.unit("pressure") == pressure_unit


def test_pipe_data_and_coordinates_as_the_file_gives_them(pumping_main):
    with qorvane.Model(NET3) as model:
        pipe, node = model.pipe("20"), model.node("10")
        assert (pipe.start, pipe.end, pipe.length, pipe.diameter, pipe.roughness) == ("3", "20", 99.0, 99.0, 199.0)
        assert pipe.wave_speed == pytest.approx(1000 / 0.3048)  # the engine's default, in ft/s
        assert pipe.units == {"length": "ft", "diameter": "in", "roughness": "-", "wave_speed": "ft/s"}
        assert node.coordinates == (9.0, 27.85) and node.kind == "junction"
    with qorvane.Model(pumping_main) as model:
        assert [model.pipe(p).wave_speed for p in ("P0", "P1")] == [1100.0, 1000.0]
        assert model.pipe("P1").units["wave_speed"] == "m/s"
    assert model.pipe("P0").start == "LAKE"  # file data outlive the engine
    for pipe in ("PU1", "NOPE"):
        with pytest.raises(qorvane.UnknownElementError, match=f"no pipe '{pipe}'"):
            model.pipe(pipe)


def test_summary_counts_each_kind(every_kind, monkeypatch):
    with qorvane.Model(every_kind) as model:
        table = model.summary()
        assert table["count"].to_dict() == {"junction": 6, "reservoir": 1, "tank": 1, "pipe": 5, "pump": 1,
                                            "valve": 1, "surge_tank": 1, "air_vessel": 1, "relief_valve": 1}
        assert table.attrs["units"]["flow"] == "LPS"
        monkeypatch.setitem(sys.modules, "pandas", None)
        assert model.summary() == {kind: {"count": n} for kind, n in table["count"].items()}
