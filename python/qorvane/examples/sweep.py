"""Closure time against peak pressure: the factory intake at J5 of the pumping main closes in 20 different
times, one scenario per process; prints the table and plots it when matplotlib is installed."""
from __future__ import annotations

import argparse
import sys
from pathlib import Path

import numpy as np

from qorvane import Model, Scenario, examples, sweep

NETWORK = "pumping_main"
NODE = "J5"
CLOSE_START = 1.0  # s: the intake starts closing
SHORTEST, LONGEST = 0.05, 10.0  # s: the closure times swept
HORIZON = 30.0  # s simulated per scenario
DEFAULT_COUNT = 20


def scenarios(demand: float, count: int) -> list[Scenario]:
    times = np.geomspace(SHORTEST, LONGEST, count)
    return [Scenario(HORIZON, [("node", NODE, "pressure")],
                     demands={NODE: ([0.0, CLOSE_START, CLOSE_START + float(t)], [demand, demand, 0.0])})
            for t in times]


def main(argv: list[str] | None = None) -> int:
    parser = argparse.ArgumentParser(description="closure time against peak pressure at J5")
    parser.add_argument("--count", type=int, default=DEFAULT_COUNT, help="number of closure times")
    parser.add_argument("--workers", type=int, default=None, help="worker processes")
    parser.add_argument("--plot", type=Path, default=None, help="write a PNG plot there")
    args = parser.parse_args(argv)
    path = examples.path(NETWORK)
    with Model(path) as model:
        demand = model.node(NODE).demand
    runs = scenarios(demand, args.count)
    results = sweep(path, runs, workers=args.workers)
    print(f"{'closure (s)':>12}{'peak pressure':>15}{'unit':>6}")
    peaks = []
    for scenario, result in zip(runs, results):
        curve = result.curve("node", NODE, "pressure")
        closure = scenario.demands[NODE][0][2] - CLOSE_START
        peaks.append((closure, float(curve.values.max())))
        print(f"{closure:>12.3f}{peaks[-1][1]:>15.2f}{curve.unit:>6}")
    if args.plot is not None:
        plot(peaks, args.plot)
    return 0


def plot(peaks: list[tuple[float, float]], path: Path) -> None:
    try:
        import matplotlib
        matplotlib.use("Agg")
        import matplotlib.pyplot as plt
    except ImportError:
        print("matplotlib is not installed: no plot (pip install matplotlib)")
        return
    fig, ax = plt.subplots(figsize=(7, 4))
    ax.semilogx([p[0] for p in peaks], [p[1] for p in peaks], marker="o")
    ax.set_xlabel("closure time (s)")
    ax.set_ylabel(f"peak pressure at {NODE}")
    ax.grid(True, alpha=0.4)
    fig.tight_layout()
    fig.savefig(path, dpi=110)
    plt.close(fig)
    print(f"plot written to {path}")


if __name__ == "__main__":
    sys.exit(main())
