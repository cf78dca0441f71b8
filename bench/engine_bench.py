"""Engine timings through the module's surface, each measurement in a fresh process over the stand-in engine:
steady state on grids of growing size (time, peak memory, growth exponent), the transient time loop in
reach-updates per second, memory per reach and per stored result point, and the whole road from loading a
model to reading every curve."""

from __future__ import annotations

import argparse
import ctypes
import dataclasses
import json
import math
import os
import resource
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import grid_network as G  # noqa: E402
import real_networks  # noqa: E402

KIB = 1024
STEADY_SIZES = (1_000, 10_000, 100_000)
STEADY_RUNS = 3  # fresh processes per size; the fastest counts (the machine's speed drifts)
TRANSIENT_MIN_REACHES = 50_000
TRANSIENT_STEPS = 2_000
ROAD_STEPS = 50
MAX_GROWTH_EXPONENT = 1.2
MIN_REACH_UPDATES_PER_S = 1e8
MAX_CAVITY_COST = 1.5        # time loop with column separation against without
CAVITY_RUNS = 3              # fresh processes per configuration; the fastest counts
CAVITY_DRAW = 300.0          # L/s drawn at once at the grid's far corner: heads there fall to vapour head
STORE_EVERY_STEP = 1
WORKER_TIMEOUT_S = 1800
OPTION_ROUNDS = 5            # rounds of fresh processes, each running the loop without and with every option
MAX_OPTION_COST = 1.5        # the time loop with a transient option on, at most this times the loop without
TRANSIENT_OPTIONS = {"orifice demands": "DEMANDS ORIFICE"}  # name: its [TRANSIENT] line
ROAD_READ_BUDGET_S = 120.0   # reading every curve of the largest network stops after this long
CURVE_SAMPLE = 200           # curves timed at each size to show how a curve read grows with the network


def _status_kib(field: str) -> int | None:
    try:
        for line in Path("/proc/self/status").read_text().splitlines():
            if line.startswith(field + ":"):
                return int(line.split()[1])
    except OSError:
        pass
    return None


def rss_kib() -> int:
    """Resident memory now (Linux); 0 where it cannot be read."""
    return _status_kib("VmRSS") or 0


def peak_kib() -> int:
    """Peak resident memory of this process image. getrusage's figure is the fallback only: on Linux it
    keeps the parent's peak across fork and exec."""
    peak = _status_kib("VmHWM")
    return peak if peak is not None else resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def layout_for_side(side: int) -> G.GridLayout:
    return G.GridLayout(side=side)


def transient_side(min_reaches: int) -> int:
    """The smallest grid side whose pipes make at least `min_reaches` reaches."""
    side = 2
    while layout_for_side(side).reaches < min_reaches:
        side += 1
    return side


def prepared_run(horizon: float, storefact: int) -> dict:
    """What the stand-in engine publishes about the run it would make (read directly through ctypes)."""
    import engine_ctypes as E

    lib = E.load_engine()
    params = E.CalcParamRecord()
    zero = ctypes.c_int32(0)
    if not lib.InitCalculQor(ctypes.byref(zero)) & 1:
        return {}
    lib.GetParamCalcQor(ctypes.byref(params))
    params.horizon = horizon
    params.storage_factor = storefact
    lib.SetParamCalcQor(ctypes.byref(params))
    lib.GetParamCalcQor(ctypes.byref(params))
    return {"time_step": params.time_step, "total_reaches": params.total_reaches, "step_count": params.step_count,
            "stored_points": params.stored_points, "result_bytes": params.result_bytes}


# Work done inside the fresh process.

def work_steady(model: Path) -> dict:
    import _pyQorvane as M

    M.init(0)
    before = rss_kib()
    start = time.perf_counter()
    status = M.loadmodel(str(model))
    seconds = time.perf_counter() - start
    return {"status": status, "seconds": seconds, "rss_before_kib": before, "rss_after_kib": rss_kib(),
            "peak_kib": peak_kib()}


def work_transient(model: Path, horizon: float, storefact: int, draw_node: str = "", draw: float = 0.0) -> dict:
    """The run's time and memory; with `draw_node`, that junction draws `draw` from the start, and the
    largest cavity there is read back when the run models column separation."""
    import _pyQorvane as M

    M.init(0)
    status = M.loadmodel(str(model))
    if draw_node:
        M.set_col_node(draw_node, "CS", [0.0, horizon], [draw, draw])
    loaded = rss_kib()
    plan = prepared_run(horizon, storefact)
    start = time.perf_counter()
    run_status = M.run_simulation(horizon, float(storefact))
    seconds = time.perf_counter() - start
    out = {"load_status": status, "run_status": run_status, "seconds": seconds, "rss_loaded_kib": loaded,
           "rss_after_kib": rss_kib(), "peak_kib": peak_kib(), **plan}
    if draw_node:
        count = M.size_ts("NODE", draw_node, "DO")
        out["largest_cavity"] = float(max(M.result_ts(count)[1])) if count > 0 else None
    return out


def read_curves(M, curves: list[tuple[str, str, str]], budget_s: float) -> tuple[int, int, float]:
    """Reads curves until done or out of time: (curves read, points read, seconds)."""
    start = time.perf_counter()
    read = points = 0
    for typelt, eid, attribut in curves:
        n = M.size_ts(typelt, eid, attribut)
        if n > 0:
            vdate, vval = M.result_ts(n)
            points += len(vval)
        read += 1
        if time.perf_counter() - start > budget_s:
            break
    return read, points, time.perf_counter() - start


def every_curve(grid: G.GridLayout) -> list[tuple[str, str, str]]:
    return ([("NODE", j, "CH") for j in G.junction_ids(grid)] +
            [("LINK", p, "Q") for p in G.pipe_ids(grid)])


def work_road(model: Path, side: int, horizon: float, budget_s: float) -> dict:
    import _pyQorvane as M

    grid = layout_for_side(side)
    M.init(0)
    t0 = time.perf_counter()
    load_status = M.loadmodel(str(model))
    t1 = time.perf_counter()
    run_status = M.run_simulation(horizon, 1.0)
    t2 = time.perf_counter()
    curves = every_curve(grid)
    read, points, read_s = read_curves(M, curves, budget_s)
    return {"load_status": load_status, "run_status": run_status, "load_s": t1 - t0, "run_s": t2 - t1,
            "curves": len(curves), "curves_read": read, "points_read": points, "read_s": read_s,
            "peak_kib": peak_kib()}


def work_curve_sample(model: Path, side: int, horizon: float, sample: int) -> dict:
    """Time per curve read on a network of this size, from a spread sample of its curves."""
    import _pyQorvane as M

    grid = layout_for_side(side)
    M.init(0)
    M.loadmodel(str(model))
    M.run_simulation(horizon, 1.0)
    curves = every_curve(grid)
    stride = max(1, len(curves) // sample)
    chosen = curves[::stride][:sample]
    read, points, seconds = read_curves(M, chosen, math.inf)
    return {"curves": len(curves), "sampled": read, "seconds_per_curve": seconds / max(read, 1)}


WORKERS = {"steady": work_steady, "transient": work_transient, "road": work_road, "curve_sample": work_curve_sample}


def worker_main(argv: list[str]) -> int:
    task, kwargs = argv[0], json.loads(argv[1])
    if "model" in kwargs:
        kwargs["model"] = Path(kwargs["model"])
    print(json.dumps(WORKERS[task](**kwargs)))
    return 0


# The driver: one fresh process per measurement.

def in_fresh_process(task: str, env: dict, **kwargs) -> dict:
    args = {k: (str(v) if isinstance(v, Path) else v) for k, v in kwargs.items()}
    done = subprocess.run([sys.executable, str(Path(__file__)), "--worker", task, json.dumps(args)],
                          env=env, capture_output=True, text=True, timeout=WORKER_TIMEOUT_S)
    if done.returncode != 0:
        return {"error": f"{task} worker failed ({done.returncode}): {done.stderr.strip()[-2000:]}"}
    last = done.stdout.strip().splitlines()[-1] if done.stdout.strip() else "{}"
    return json.loads(last)


def engine_env(build: Path) -> dict:
    env = dict(os.environ)
    env["LD_LIBRARY_PATH"] = str((build / "vuzizi").resolve())
    env["PYTHONPATH"] = os.pathsep.join([str((build / "binding").resolve()), str(HERE)])
    return env


def growth_exponent(sizes: list[float], seconds: list[float]) -> float:
    """Slope of log(seconds) against log(size), by least squares."""
    xs = [math.log(s) for s in sizes]
    ys = [math.log(t) for t in seconds]
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    sxx = sum((x - mx) ** 2 for x in xs)
    return sum((x - mx) * (y - my) for x, y in zip(xs, ys)) / sxx


def steady_section(build: Path, work: Path, sizes=STEADY_SIZES, runs_per_size: int = STEADY_RUNS) -> dict:
    env = engine_env(build)
    rows = []
    for junctions in sizes:
        grid = layout_for_side(G.side_for(junctions))
        model = G.write_grid(grid, work / f"grid_{grid.side}.inp")
        runs = [in_fresh_process("steady", env, model=model) for _ in range(runs_per_size)]
        timed = [r for r in runs if "seconds" in r]
        result = min(timed, key=lambda r: r["seconds"]) if timed else runs[0]
        rows.append({"junctions": grid.junctions, "pipes": grid.pipes, "runs": len(runs), **result})
    ok = [r for r in rows if r.get("status") == 0]
    exponent = (growth_exponent([r["junctions"] for r in ok], [r["seconds"] for r in ok])
                if len(ok) >= 2 else None)
    return {"rows": rows, "growth_exponent": exponent,
            "meets_target": exponent is not None and exponent <= MAX_GROWTH_EXPONENT}


def transient_section(build: Path, work: Path, min_reaches=TRANSIENT_MIN_REACHES, steps=TRANSIENT_STEPS) -> dict:
    env = engine_env(build)
    grid = layout_for_side(transient_side(min_reaches))
    model = G.write_grid(grid, work / f"grid_{grid.side}.inp")
    horizon = steps * grid.time_step
    # Storing every step, then only the first and last frames: the difference is the stored results.
    full = in_fresh_process("transient", env, model=model, horizon=horizon, storefact=STORE_EVERY_STEP)
    sparse = in_fresh_process("transient", env, model=model, horizon=horizon, storefact=steps)
    out = {"junctions": grid.junctions, "pipes": grid.pipes, "reaches": grid.reaches, "steps": steps,
           "full_store": full, "sparse_store": sparse}
    if "error" in full or "error" in sparse or full.get("run_status", 0) & 1 == 0:
        out["meets_target"] = False
        return out
    reaches = full.get("total_reaches") or grid.reaches
    step_count = full.get("step_count") or steps
    # The run with almost nothing stored is the time loop's own speed.
    loop_seconds = sparse["seconds"]
    out["reach_updates_per_s"] = reaches * step_count / loop_seconds
    out["reach_updates_per_s_storing_every_step"] = reaches * step_count / full["seconds"]
    solver_kib = sparse["peak_kib"] - sparse["rss_loaded_kib"]
    out["bytes_per_reach"] = solver_kib * KIB / reaches
    stored_kib = full["peak_kib"] - sparse["peak_kib"]
    frames = (full.get("stored_points") or step_count + 1) - (sparse.get("stored_points") or 2)
    values_per_frame = (full.get("result_bytes", 0) / max(full.get("stored_points") or 1, 1)) / 8 - 1
    out["values_per_frame"] = values_per_frame
    if frames > 0 and values_per_frame > 0:
        out["bytes_per_stored_point"] = stored_kib * KIB / (frames * values_per_frame)
    out["meets_target"] = out["reach_updates_per_s"] >= MIN_REACH_UPDATES_PER_S
    return out


def cavity_section(build: Path, work: Path, min_reaches=TRANSIENT_MIN_REACHES, steps=TRANSIENT_STEPS) -> dict:
    """The time loop with column separation against without, on the steady grid (no cavity forms: the
    option's checks alone) and with a large draw at the far corner (cavities open and collapse there)."""
    env = engine_env(build)
    grid = layout_for_side(transient_side(min_reaches))
    horizon = steps * grid.time_step
    far_corner = G.junction_id(grid.side - 1, grid.side - 1)
    rows = []
    for case, draw_node in (("steady", ""), ("draw at the far corner", far_corner)):
        runs = {}
        for separation in (False, True):
            layout = dataclasses.replace(grid, column_separation=separation)
            model = G.write_grid(layout, work / f"grid_{grid.side}_{'cavities' if separation else 'plain'}.inp")
            # Fastest of a few fresh processes: the machine's speed drifts between runs.
            tries = [in_fresh_process("transient", env, model=model, horizon=horizon, storefact=steps,
                                      draw_node=draw_node, draw=CAVITY_DRAW) for _ in range(CAVITY_RUNS)]
            timed = [r for r in tries if "seconds" in r]
            runs[separation] = min(timed, key=lambda r: r["seconds"]) if timed else tries[0]
        off, on = runs[False], runs[True]
        row = {"case": case, "off": off, "on": on}
        if "seconds" in off and "seconds" in on:
            row["ratio"] = on["seconds"] / off["seconds"]
            row["meets_target"] = row["ratio"] <= MAX_CAVITY_COST
        rows.append(row)
    return {"junctions": grid.junctions, "reaches": grid.reaches, "steps": steps, "rows": rows}


def option_rows(build: Path, work: Path, min_reaches=TRANSIENT_MIN_REACHES, steps=TRANSIENT_STEPS,
                rounds=OPTION_ROUNDS) -> list[dict]:
    """The time loop (two frames stored) with each transient option on against the same loop without it, on
    one grid. The runs alternate in rounds, so that a slow spell of the machine falls on every side; each
    side keeps its fastest run."""
    env = engine_env(build)
    grid = layout_for_side(transient_side(min_reaches))
    horizon = steps * grid.time_step
    models = {None: G.write_grid(grid, work / f"grid_{grid.side}.inp")}
    for name, line in TRANSIENT_OPTIONS.items():
        optioned = dataclasses.replace(grid, transient_options=(line,))
        models[name] = G.write_grid(optioned, work / f"grid_{grid.side}_{name.replace(' ', '_')}.inp")
    fastest: dict = {}
    for _ in range(rounds):
        for name, model in models.items():
            r = in_fresh_process("transient", env, model=model, horizon=horizon, storefact=steps)
            timed = "seconds" in r and r.get("run_status", 0) & 1
            if name not in fastest or (timed and ("seconds" not in fastest[name] or
                                                  r["seconds"] < fastest[name]["seconds"])):
                fastest[name] = r
    off = fastest[None]
    rows = []
    for name, line in TRANSIENT_OPTIONS.items():
        on = fastest[name]
        row = {"option": name, "line": line, "steps": steps, "rounds": rounds, "off": off, "on": on,
               "target": MAX_OPTION_COST, "meets_target": False}
        if "seconds" in off and "seconds" in on:
            row["ratio"] = on["seconds"] / off["seconds"]
            row["meets_target"] = row["ratio"] <= MAX_OPTION_COST
        rows.append(row)
    return rows


def road_section(build: Path, work: Path, junctions=STEADY_SIZES[-1], steps=ROAD_STEPS,
                 budget_s=ROAD_READ_BUDGET_S, sample_sizes=STEADY_SIZES) -> dict:
    env = engine_env(build)
    grid = layout_for_side(G.side_for(junctions))
    model = G.write_grid(grid, work / f"grid_{grid.side}.inp")
    horizon = steps * grid.time_step
    road = in_fresh_process("road", env, model=model, side=grid.side, horizon=horizon, budget_s=budget_s)
    samples = []
    for size in sample_sizes:
        s = layout_for_side(G.side_for(size))
        m = G.write_grid(s, work / f"grid_{s.side}.inp")
        samples.append({"junctions": s.junctions,
                        **in_fresh_process("curve_sample", env, model=m, side=s.side, horizon=horizon,
                                           sample=CURVE_SAMPLE)})
    return {"junctions": grid.junctions, "pipes": grid.pipes, "steps": steps, **road, "curve_read_by_size": samples}


def run(build: Path, work: Path, quick: bool = False) -> dict:
    if quick:
        return {"steady": steady_section(build, work, sizes=(100, 400, 1600), runs_per_size=1),
                "transient": transient_section(build, work, min_reaches=2_000, steps=100),
                "cavities": cavity_section(build, work, min_reaches=2_000, steps=100),
                "options": option_rows(build, work, min_reaches=2_000, steps=100),
                "road": road_section(build, work, junctions=1600, steps=10, budget_s=10.0,
                                     sample_sizes=(100, 400, 1600))}
    return {"steady": steady_section(build, work),
            "real": real_networks.section(engine_env(build), build.parent / "build-bench-nets"),
            "transient": transient_section(build, work), "cavities": cavity_section(build, work),
            "options": option_rows(build, work), "road": road_section(build, work)}


if __name__ == "__main__":
    if len(sys.argv) > 1 and sys.argv[1] == "--worker":
        sys.exit(worker_main(sys.argv[2:]))
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, default=Path("build"))
    parser.add_argument("--work", type=Path, default=HERE / "results" / "networks")
    parser.add_argument("--quick", action="store_true")
    options = parser.parse_args()
    print(json.dumps(run(options.build, options.work, options.quick), indent=2))
