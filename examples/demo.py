"""Water hammer on a pumping main, driven from Python through the qorvane package.

The factory at the dead end J5 of the bundled network shuts its 40 L/s intake within 50 ms,
one second into the run. The script opens the engine, loads the network, reads the units and
the steady state, imposes the demand stop as a boundary condition, runs the transient and
reads the result curves; it prints the extremes of each curve, plots the pressure waves and, beside
them, a map of the network with each node coloured by its peak pressure.
"""
from __future__ import annotations

import argparse
import math
import sys
from dataclasses import dataclass
from pathlib import Path
from typing import Any

import numpy as np
import numpy.typing as npt

import qorvane

HERE = Path(__file__).resolve().parent
NETWORK = qorvane.examples.path("pumping_main")
DEFAULT_PLOT = HERE / "output" / "pressure_waves.png"
MAP_NAME = "peak_pressure_map.png"  # written beside the wave plot
LABEL_SPACING = 0.03  # nodes nearer than this share of the map's extent to a named node go unnamed

STOP_NODE = "J5"
STOP_START, STOP_END = 1.0, 1.05   # seconds: the intake closes between these times
STORE_EVERY = 1                    # store every time step
PRESSURE_NODES = ["J1", "J3", "J4", "J5"]
# Curves read after the run: (element kind, identifier, quantity), label.
CURVES = [(("node", node, "pressure"), f"pressure at {node}") for node in PRESSURE_NODES] + [
    (("pipe", "P4", "flow"), "flow in P4"),
    (("air_vessel", "AV1", "gas_volume"), "gas volume of AV1"),
]
Series = tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]


@dataclass
class CurveSummary:
    label: str
    unit: str
    steady: float
    low: float
    low_time: float
    high: float
    high_time: float


@dataclass
class Outcome:
    version: str
    summaries: list[CurveSummary]
    pressures: dict[str, Series]  # node: (times, pressures)
    stopped_demand: float
    peaks: dict[str, float]  # node: its highest pressure
    model: qorvane.Model  # closed after the run; its file data draw the map


def simulate(horizon: float) -> Outcome:
    """Runs the scenario up to `horizon` seconds and reads its result curves."""
    with qorvane.Model(NETWORK) as model:
        demand = model.node(STOP_NODE).demand
        model.set_demand(STOP_NODE, [0.0, STOP_START, STOP_END], [demand, demand, 0.0])
        results = model.run(horizon, STORE_EVERY)
        summaries, pressures = [], {}
        for (kind, eid, quantity), label in CURVES:
            c = results.curve(kind, eid, quantity)
            t, v = c.times, c.values
            summaries.append(CurveSummary(label, c.unit, float(v[0]), float(v.min()), float(t[v.argmin()]),
                                          float(v.max()), float(t[v.argmax()])))
            if kind == "node":
                pressures[eid] = (t, v)
        peaks = {node: float(results.curve("node", node, "pressure").values.max()) for node in model.nodes}
        return Outcome(model.engine_version, summaries, pressures, float(demand), peaks, model)


def print_table(summaries: list[CurveSummary]) -> None:
    print(f"{'curve':<22}{'unit':>6}{'steady':>10}{'min':>10}{'at (s)':>9}{'max':>10}{'at (s)':>9}")
    for s in summaries:
        print(f"{s.label:<22}{s.unit:>6}{s.steady:>10.2f}{s.low:>10.2f}{s.low_time:>9.2f}"
              f"{s.high:>10.2f}{s.high_time:>9.2f}")


def plot(outcome: Outcome, unit: str, path: Path, map_path: Path) -> bool:
    """Writes the pressure waves to `path` and the map of peak pressures to `map_path`."""
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install matplotlib)")
        return False
    import qorvane.plot

    pressures = outcome.pressures
    path.parent.mkdir(parents=True, exist_ok=True)
    fig, ax = plt.subplots(figsize=(9, 5))
    for node, (t, v) in pressures.items():
        ax.plot(t, v, label=node, linewidth=1.2)
    ax.axvspan(STOP_START, STOP_END, color="grey", alpha=0.3, label="intake closing")
    ax.set_xlabel("time (s)")
    ax.set_ylabel(f"pressure ({unit})")
    ax.set_title(f"Demand stop at {STOP_NODE}: pressure waves along the pumping main")
    ax.grid(True, alpha=0.4)
    ax.legend(loc="upper left", bbox_to_anchor=(1.01, 1.0))
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)

    map_path.parent.mkdir(parents=True, exist_ok=True)
    fig, ax = plt.subplots(figsize=(9, 3.5))
    qorvane.plot.network(outcome.model, outcome.peaks, ax, label=f"peak pressure ({unit})")
    label_nodes(ax, outcome.model.elements.coordinates)
    ax.set_title(f"Peak pressure after the demand stop at {STOP_NODE}")
    fig.tight_layout()
    fig.savefig(map_path, dpi=110)
    plt.close(fig)
    return True


def label_nodes(ax: Any, where: dict[str, tuple[float, float]]) -> None:
    """Names the nodes on the map, leaving out those too close to one already named (the pump station's
    suction and discharge sit 50 m and 60 m from the lake on a 4 km main)."""
    xs, ys = [x for x, _ in where.values()], [y for _, y in where.values()]
    nearest = LABEL_SPACING * max(max(xs) - min(xs), max(ys) - min(ys), 1.0)
    named: list[tuple[float, float]] = []
    for node, (x, y) in where.items():
        if all(math.hypot(x - a, y - b) >= nearest for a, b in named):
            ax.annotate(node, (x, y), textcoords="offset points", xytext=(0, 8), ha="center", fontsize=8)
            named.append((x, y))


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=(__doc__ or "").splitlines()[0])
    parser.add_argument("--horizon", type=float, default=60.0, help="simulated time in seconds")
    parser.add_argument("--plot", type=Path, default=DEFAULT_PLOT, help="where to write the PNG plot")
    parser.add_argument("--map", type=Path, default=None,
                        help=f"where to write the map of peak pressures (default: {MAP_NAME} beside the plot)")
    parser.add_argument("--no-plot", action="store_true", help="write no plot")
    args = parser.parse_args(argv)

    try:
        outcome = simulate(args.horizon)
    except qorvane.QorvaneError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    print(f"engine {outcome.version}, network {NETWORK.name}: the {outcome.stopped_demand:g} L/s intake at "
          f"{STOP_NODE} closes between {STOP_START} s and {STOP_END} s; {args.horizon:g} s simulated")
    print_table(outcome.summaries)
    map_path = args.map or args.plot.with_name(MAP_NAME)
    if not args.no_plot and plot(outcome, outcome.summaries[0].unit, args.plot, map_path):
        print(f"plot written to {args.plot}, map to {map_path}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
