"""Water hammer on a pumping main, driven from Python through _pyQorvane.

The factory at the dead end J5 of the bundled network shuts its 40 L/s intake within 50 ms,
one second into the run. The script opens the engine, loads the network, reads the units and
the steady state, imposes the demand stop as a boundary condition, runs the transient and
reads the result curves; it prints the extremes of each curve and plots the pressure waves.
"""
from __future__ import annotations

import argparse
import sys
from dataclasses import dataclass
from pathlib import Path

import numpy as np

import _pyQorvane as qorvane

HERE = Path(__file__).resolve().parent
NETWORK = HERE / "networks" / "pumping_main.inp"
DEFAULT_PLOT = HERE / "output" / "pressure_waves.png"

STOP_NODE = "J5"
STOP_START, STOP_END = 1.0, 1.05   # seconds: the intake closes between these times
STORE_EVERY = 1                    # store every time step
PRESSURE_NODES = ["J1", "J3", "J4", "J5"]
# Curves read after the run: (element type, identifier, attribute, unit code, label).
CURVES = [(("NODE", node, "P"), "P", f"pressure at {node}") for node in PRESSURE_NODES] + [
    (("LINK", "P4", "Q"), "Q", "flow in P4"),
    (("BALLON", "AV1", "VO"), "VO", "gas volume of AV1"),
]


class EngineError(RuntimeError):
    """An engine call reported failure."""


@dataclass
class CurveSummary:
    label: str
    unit: str
    steady: float
    low: float
    low_time: float
    high: float
    high_time: float


def succeeded(status: int) -> bool:
    return bool(status & 1)


def unit_name(code: str) -> str:
    _coef, current, _reference = qorvane.get_unit_info(code)
    return current.decode()


def read_curve(typelt: str, eid: str, attribut: str) -> tuple[np.ndarray, np.ndarray]:
    count = qorvane.size_ts(typelt, eid, attribut)
    if count <= 0:
        raise EngineError(f"no result curve for {typelt} {eid} {attribut}")
    return qorvane.result_ts(count)


@dataclass
class Outcome:
    version: str
    summaries: list[CurveSummary]
    pressures: dict[str, tuple[np.ndarray, np.ndarray]]  # node: (times, pressures)
    stopped_demand: float


def simulate(horizon: float) -> Outcome:
    """Runs the scenario up to `horizon` seconds and reads its result curves."""
    version = qorvane.init(1).decode()
    if not succeeded(int(qorvane.pyvuzizi.stat_qordll)):
        raise EngineError("the engine did not open")
    try:
        status = qorvane.loadmodel(str(NETWORK))
        if status != 0:
            raise EngineError(f"loading {NETWORK} failed with code {status}")
        index, _elevation, demand, _head = qorvane.get_node(STOP_NODE)
        if index < 0:
            raise EngineError(f"the network has no node {STOP_NODE}")

        times = np.array([0.0, STOP_START, STOP_END], dtype=np.float32)
        values = np.array([demand, demand, 0.0], dtype=np.float32)
        if not succeeded(qorvane.set_col_node(STOP_NODE, "CS", times, values)):
            raise EngineError(f"the engine refused the demand stop at {STOP_NODE}")
        if not succeeded(qorvane.run_simulation(horizon, STORE_EVERY)):
            raise EngineError("the simulation run failed")

        summaries, pressures = [], {}
        for (typelt, eid, attribut), unit_code, label in CURVES:
            t, v = read_curve(typelt, eid, attribut)
            summaries.append(CurveSummary(label, unit_name(unit_code), float(v[0]), float(v.min()),
                                          float(t[v.argmin()]), float(v.max()), float(t[v.argmax()])))
            if typelt == "NODE":
                pressures[eid] = (t, v)
        return Outcome(version, summaries, pressures, float(demand))
    finally:
        qorvane.quit()


def print_table(summaries: list[CurveSummary]) -> None:
    print(f"{'curve':<22}{'unit':>6}{'steady':>10}{'min':>10}{'at (s)':>9}{'max':>10}{'at (s)':>9}")
    for s in summaries:
        print(f"{s.label:<22}{s.unit:>6}{s.steady:>10.2f}{s.low:>10.2f}{s.low_time:>9.2f}"
              f"{s.high:>10.2f}{s.high_time:>9.2f}")


def plot(pressures: dict[str, tuple[np.ndarray, np.ndarray]], unit: str, path: Path) -> bool:
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install matplotlib)")
        return False
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
    return True


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--horizon", type=float, default=60.0, help="simulated time in seconds")
    parser.add_argument("--plot", type=Path, default=DEFAULT_PLOT, help="where to write the PNG plot")
    parser.add_argument("--no-plot", action="store_true", help="write no plot")
    args = parser.parse_args(argv)

    try:
        outcome = simulate(args.horizon)
    except EngineError as error:
        print(f"error: {error}", file=sys.stderr)
        return 1
    print(f"engine {outcome.version}, network {NETWORK.name}: the {outcome.stopped_demand:g} L/s intake at "
          f"{STOP_NODE} closes between {STOP_START} s and {STOP_END} s; {args.horizon:g} s simulated")
    print_table(outcome.summaries)
    if not args.no_plot and plot(outcome.pressures, outcome.summaries[0].unit, args.plot):
        print(f"plot written to {args.plot}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
