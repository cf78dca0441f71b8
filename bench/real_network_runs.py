"""Water-hammer runs of real networks (Net3, Net6, ky10): 30 s with a rapid demand stop at the junction of
largest demand, at the step the engine chooses, under each travel-time rule, against a converged fine-step run
that is made once and cached. Prints step, reaches, lumped pipes, run time, and the worst surge error: over
every junction, the largest difference of its highest rise and deepest drop from the fine run's, relative to
the network's largest surge. The fine run's own error, against a run at twice its step, shows it converged."""

from __future__ import annotations

import hashlib
import json
import os
import re
import subprocess
import sys
from pathlib import Path

import real_networks

NET3 = Path(__file__).resolve().parents[1] / "tests" / "engine" / "data" / "Net3.inp"  # EPANET's example network
HORIZON_S = 30.0
STOP_AT_S = 1.0            # the demand starts to stop at this time
# and falls linearly to zero over this span: rapid (shorter than the wave's round trip) for every pipe
# beyond 250 m. A stop at once is a front that no step resolves: the highest and lowest heads then sum
# fronts whose arrival times the step rounds, and converge far more slowly (docs/performance.md).
STOP_SECONDS = 0.5
FINE_DIVISION = 16         # the fine run's step is the chosen step divided by this
# and its options: a tolerance this tight leaves the fine run's own error (against twice its step) at a third
# of what 0.002 leaves on Net6 (0.29 % against 0.82 %), at the same cost
FINE_OPTIONS = {"WAVESPEEDTOLERANCE": 0.0001, "TRAVELTIMES": "INTERPOLATE"}
TRAVEL_TIME_RULES = ("INTERPOLATE", "ADJUST")  # the runs measured, by [TRANSIENT] TRAVELTIMES; the default first
FITTING = re.compile(r"a storage factor of (\d+) would fit")
RUN_TIMEOUT_S = 3600
ENGINE_LIBRARY = "libVuzizi32.so"
TARGET_SECONDS, TARGET_ERROR = 2.0, 0.02  # each network's run time and worst surge error
THREADS = re.compile(r"step threads: (\d+)")
PLAN = re.compile(r"run plan: time step (\S+) s set by (.+?), (\d+) reaches, (\d+) lumped pipes, "
                  r"largest wave-speed adjustment (\S+) at pipe (\S+)")

# One run in a fresh process: loads the copy, stops the demand, runs, prints the plan trace and, as JSON,
# every junction's initial head, highest and lowest head, and the run time.
RUN_SNIPPET = r"""
import json, sys, time, _pyQorvane as M
path, horizon, stop_at, storage, ramp = sys.argv[1], float(sys.argv[2]), float(sys.argv[3]), float(sys.argv[5]), float(sys.argv[6])
import os
if hasattr(os, "sched_setaffinity"):
    os.sched_setaffinity(0, range(os.cpu_count() or 1))  # the bench pins itself to one core; a run may take all
M.init(3)
if M.loadmodel(path) != 0:
    raise SystemExit("load failed")
junctions = json.loads(sys.argv[4])
demands = {j: M.get_node(j)[2] for j in junctions}
node = max(junctions, key=lambda j: demands[j])
demand = demands[node]
M.set_col_node(node, "CS", [0.0, stop_at, stop_at + ramp], [demand, demand, 0.0])
start = time.perf_counter()
status = M.run_simulation(horizon, storage)
seconds = time.perf_counter() - start
heads = {}
for j in junctions:
    count = M.size_ts("NODE", j, "Q")
    values = M.result_ts(count)[1] if count > 0 else []
    heads[j] = [float(values[0]), float(max(values)), float(min(values))] if count > 0 else None
print("RESULT " + json.dumps({"status": status, "seconds": seconds, "stopped": node, "heads": heads}))
"""


def inp_junctions(model: Path) -> list[tuple[str, float]]:
    """(id, base demand) of each junction of an input file; the run reads the steady demands itself."""
    rows, section = [], ""
    for raw in model.read_text(errors="replace").splitlines():
        line = raw.split(";", 1)[0].strip()
        if not line:
            continue
        if line.startswith("["):
            section = line.upper()
            continue
        if section == "[JUNCTIONS]":
            fields = line.split()
            rows.append((fields[0], float(fields[2]) if len(fields) > 2 else 0.0))
    return rows


def _option_text(value: float | str) -> str:
    return value if isinstance(value, str) else repr(value)


def transient_copy(model: Path, folder: Path, options: dict[str, float | str]) -> Path:
    """A copy of the model with a [TRANSIENT] section of `options`, placed before [END]."""
    text = model.read_text(errors="replace")
    extra = "[TRANSIENT]\n" + "".join(f"{k} {_option_text(v)}\n" for k, v in options.items())
    at = text.upper().rfind("[END]")
    text = text[:at] + extra + text[at:] if at >= 0 else text + "\n" + extra
    name = model.stem + "-run" + "".join(f"-{k}{v if isinstance(v, str) else format(v, 'g')}"
                                         for k, v in options.items()) + ".inp"
    out = folder / name
    out.write_text(text)
    return out


def run_once(model: Path, env: dict, junctions: list[str], storage: int = 1) -> dict:
    done = subprocess.run([sys.executable, "-c", RUN_SNIPPET, str(model), str(HORIZON_S), str(STOP_AT_S),
                           json.dumps(junctions), str(storage), str(STOP_SECONDS)],
                          env=env, capture_output=True, text=True, timeout=RUN_TIMEOUT_S)
    fitting = FITTING.search(done.stderr)
    if fitting and storage == 1:
        # Every step's results exceed the memory limit: store as often as fits.
        return run_once(model, env, junctions, int(fitting.group(1)))
    found = [line for line in done.stdout.splitlines() if line.startswith("RESULT ")]
    if done.returncode != 0 or not found:
        return {"error": (done.stderr or done.stdout).strip()[-800:]}
    out = json.loads(found[-1][len("RESULT "):])
    plan = PLAN.search(done.stderr)
    if plan:
        out.update(time_step=float(plan.group(1)), set_by=plan.group(2), reaches=int(plan.group(3)),
                   lumped=int(plan.group(4)), adjustment=float(plan.group(5)))
    threads = THREADS.search(done.stderr)
    if threads:
        out.update(threads=int(threads.group(1)))
    return out


def engine_digest(env: dict) -> str:
    """A short digest of the engine library the runs load: a rebuilt engine makes a new reference."""
    library = Path(env["LD_LIBRARY_PATH"].split(os.pathsep)[0]) / ENGINE_LIBRARY
    return hashlib.sha256(library.read_bytes()).hexdigest()[:12] if library.is_file() else "unknown"


def surge_error(run: dict, fine: dict) -> float:
    """Worst difference of a junction's highest rise or deepest drop from the fine run's, relative to the
    fine run's largest surge."""
    largest, worst = 0.0, 0.0
    for j, ref in fine["heads"].items():
        got = run["heads"].get(j)
        if ref is None or got is None:
            continue
        rise_ref, drop_ref = ref[1] - ref[0], ref[0] - ref[2]
        largest = max(largest, rise_ref, drop_ref)
        worst = max(worst, abs((got[1] - got[0]) - rise_ref), abs((got[0] - got[2]) - drop_ref))
    return worst / largest if largest > 0.0 else float("nan")


def fine_run(name: str, model: Path, env: dict, folder: Path, junctions: list[str], step: float) -> dict:
    """The run at `step` with the fine options, from the cache when the same engine made it with them."""
    tolerance = FINE_OPTIONS["WAVESPEEDTOLERANCE"]
    cache = folder / f"{model.stem}-fine-{step:.9g}-stop{STOP_SECONDS:g}-tol{tolerance:g}-{engine_digest(env)}.json"
    fine = json.loads(cache.read_text()) if cache.is_file() else None
    if fine is None or sorted(fine.get("heads", {})) != sorted(junctions):
        fine = run_once(transient_copy(model, folder, {"TIMESTEP": step, **FINE_OPTIONS}), env, junctions)
        if "error" in fine or fine["status"] != 1:
            return {"error": f"{name} fine run at {step:.4g} s: " + fine.get("error", "failed")}
        cache.write_text(json.dumps(fine))
    return fine


def network_rows(name: str, model: Path, env: dict, folder: Path) -> list[dict]:
    junctions = [j for j, _ in inp_junctions(model)]
    runs = {rule: run_once(transient_copy(model, folder, {"TRAVELTIMES": rule}), env, junctions)
            for rule in TRAVEL_TIME_RULES}
    default = runs[TRAVEL_TIME_RULES[0]]
    if "error" in default or "time_step" not in default:
        return [{"network": name, "error": "default run: " + default.get("error", "no plan traced")}]
    # The fine step comes from the default plan; the cache is kept per fine step, so that a change of
    # the step rule makes a new reference.
    fine = fine_run(name, model, env, folder, junctions, default["time_step"] / FINE_DIVISION)
    coarser = fine_run(name, model, env, folder, junctions, 2.0 * default["time_step"] / FINE_DIVISION)
    if "error" in fine or "error" in coarser:
        return [{"network": name, "error": fine.get("error") or coarser.get("error")}]
    rows = []
    for rule, run in runs.items():
        if "error" in run:
            rows.append({"network": name, "travel_times": rule, **run})
            continue
        error = surge_error(run, fine)
        rows.append({"network": name, "travel_times": rule, "stopped": run["stopped"], "status": run["status"],
                     "seconds": run["seconds"], "time_step": run.get("time_step"), "set_by": run.get("set_by"),
                     "reaches": run.get("reaches"), "lumped": run.get("lumped"), "adjustment": run.get("adjustment"),
                     "threads": run.get("threads"),
                     "surge_error": error, "targets_met": run["seconds"] <= TARGET_SECONDS and error <= TARGET_ERROR,
                     "fine_step": fine.get("time_step"),
                     "fine_seconds": fine["seconds"], "fine_reaches": fine.get("reaches"),
                     "fine_own_error": surge_error(coarser, fine)})
    return rows


def models(folder: Path, net3: Path) -> tuple[dict[str, Path], str | None]:
    files, reason = real_networks.obtain(folder)
    found = {"Net3": net3} if net3.is_file() else {}
    for name in ("Net6", "ky10"):
        if name in files:
            found[name] = files[name]
    return found, reason


def section(env: dict, folder: Path, net3: Path) -> dict:
    found, reason = models(folder, net3)
    rows = [row for name, path in found.items() for row in network_rows(name, path, env, folder)]
    return {"rows": rows, **({"skipped": reason} if reason else {})}
