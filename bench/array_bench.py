"""Array timings: result_ts(n) from 1 to 1e6 points against the floor of two float64 arrays allocated and
filled in C, and set_col_node over its 1 to 20 points, with the page faults each call causes."""

from __future__ import annotations

import numpy as np

import call_frame
import engine_ctypes as E
import timing

RESULT_SIZES = (1, 10, 100, 1_000, 10_000, 100_000, 1_000_000)
BOUNDARY_SIZES = (1, 2, 5, 10, 20)
# result_ts within this factor of the floor from this many points on.
MAX_RATIO_TO_FLOOR = 1.5
FLOOR_TARGET_FROM = 1_000
FAULT_SAMPLE_CALLS = 20


def faults_per_call(function, arg) -> float:
    """Minor page faults per call over a few calls (results dropped at once, as a reading loop would)."""
    before = timing.minor_faults()
    for _ in range(FAULT_SAMPLE_CALLS):
        function(arg)
    return (timing.minor_faults() - before) / FAULT_SAMPLE_CALLS


def result_rows(module, reference, double: E.DoubleControl, repeat: int, run_seconds: float) -> list[dict]:
    rows = []
    module_noop = reference.rebase(module.result_ts, "result_ts")
    for n in RESULT_SIZES:
        def prepare(n=n) -> None:
            call_frame.program_double(double, n)
            module.init(0)
            module.size_ts("NODE", "N1", "P")

        prepare()
        reference.prepare_curve(n)
        contenders = {"module": module.result_ts, "module_noop": module_noop, "floor": reference.filled_pair,
                      "zeroed_floor": reference.zeroed_pair, "twice_zeroed_floor": reference.twice_zeroed_pair}
        row = {"n": n}
        row.update(timing.ns_per_call_each({column: ("f(n)", {"f": function, "n": n})
                                            for column, function in contenders.items()},
                                           setup=prepare, repeat=repeat, run_seconds=run_seconds))
        for column, function in contenders.items():
            row[f"{column}_faults"] = faults_per_call(function, n)
        row["ratio_to_floor"] = row["module"] / row["floor"]
        row["ratio_to_twice_zeroed_floor"] = row["module"] / row["twice_zeroed_floor"]
        row["meets_target"] = n < FLOOR_TARGET_FROM or row["ratio_to_floor"] <= MAX_RATIO_TO_FLOOR
        rows.append(row)
    return rows


def boundary_rows(module, reference, double: E.DoubleControl, repeat: int, run_seconds: float) -> list[dict]:
    rows = []

    def prepare() -> None:
        double.reset()

    for n in BOUNDARY_SIZES:
        inputs = {"float32": (np.arange(n, dtype=np.float32), np.ones(n, dtype=np.float32)),
                  "float64": (np.arange(n, dtype=np.float64), np.ones(n, dtype=np.float64)),
                  "list": (list(map(float, range(n))), [1.0] * n)}
        for kind, (tim, val) in inputs.items():
            row = {"n": n, "input": kind}
            row.update(timing.ns_per_call_each(
                {column: ("f('N1', 'CH', tim, val)", {"f": function, "tim": tim, "val": val})
                 for column, function in (("module", module.set_col_node),
                                          ("minimal_session", reference.session_set_col_node))},
                setup=prepare, repeat=repeat, run_seconds=run_seconds))
            row["ratio_to_minimal_session"] = row["module"] / row["minimal_session"]
            rows.append(row)
    return rows


def run(module, reference, repeat: int, run_seconds: float) -> dict:
    double = E.DoubleControl(E.load_engine())
    return {"result_ts": result_rows(module, reference, double, repeat, run_seconds),
            "set_col_node": boundary_rows(module, reference, double, repeat, run_seconds)}
