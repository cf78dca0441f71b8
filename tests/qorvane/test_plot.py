"""Network maps: every located link and node drawn where the file puts it, nodes coloured by their values."""
import math
import sys
from pathlib import Path

import pytest

import qorvane

matplotlib = pytest.importorskip("matplotlib")
matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

NET3 = Path(__file__).parents[1] / "engine" / "data" / "Net3.inp"


def drawn_values(ax):
    """{(x, y): value or None} of the node markers drawn."""
    points = {}
    for collection in ax.collections:
        values = collection.get_array()
        for i, (x, y) in enumerate(collection.get_offsets()):
            points[(float(x), float(y))] = None if values is None else float(values[i])
    return points


def test_map_draws_located_elements_coloured_by_value():
    with qorvane.Model(NET3) as model:
        where = model.elements.coordinates
        values = {node: float(i) for i, node in enumerate(model.junctions)}
        values[model.junctions[0]] = math.nan
        fig, ax = plt.subplots()
        assert qorvane.plot.network(model, values, ax, label="peak (psi)") is ax
    located = [n for n in model.nodes if n in where]
    drawn = drawn_values(ax)
    assert len(drawn) == len(located)  # no two nodes of Net3 share a point
    for node in located:
        value = values.get(node, math.nan)
        assert drawn[where[node]] == (value if math.isfinite(value) else None), node
    ends = model.elements.link_ends.values()
    assert len(ax.lines) == sum(start in where and end in where for start, end in ends)
    assert fig.axes[-1].get_ylabel() == "peak (psi)"
    plt.close("all")


def test_map_refusals(every_kind, pumping_main, monkeypatch):
    with qorvane.Model(every_kind) as model, pytest.raises(ValueError, match="has no \\[COORDINATES\\]"):
        qorvane.plot.network(model)
    with qorvane.Model(pumping_main) as model:
        with pytest.raises(qorvane.UnknownElementError, match="no node 'J9'"):
            qorvane.plot.network(model, {"J5": 1.0, "J9": 2.0})
        monkeypatch.setitem(sys.modules, "matplotlib.pyplot", None)
        with pytest.raises(ImportError, match="needs matplotlib"):
            qorvane.plot.network(model)
