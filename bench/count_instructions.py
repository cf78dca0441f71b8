"""Instructions per call of each function's module frame and of the minimal frame, both over no-op routines,
and of the whole module function and of the ctypes user, both over the test double, counted with valgrind's
callgrind: figures that the load of a shared machine does not disturb.

Each count is the difference between a process that makes N calls and one that makes none. memset and
memcpy count one instruction per byte under callgrind (rep stosb), so array sizes are kept small here.
Run with the double first on the library path and the module and references importable, as for the bench;
takes about a minute per function."""

from __future__ import annotations

import argparse
import json
import os
import re
import subprocess
import sys
import tempfile
from pathlib import Path

import call_frame

HERE = Path(__file__).resolve().parent
CALLS = 10_000
COLLECTED = re.compile(r"Collected : (\d+)")
# module / minimal: the frames over no-op routines; module_engine / ctypes: the module's function and the
# ctypes user's, both calling the double programmed for the successful path.
CONTENDERS = {
    "module": "f = R.rebase(M.{name}, {name!r})",
    "minimal": "f = R.noop_{name}",
    "module_engine": "f = M.{name}",
    "ctypes": "f = user.{name}",
}
ENGINE_SETUP = [
    "import engine_ctypes as E",
    "from ctypes_user import CtypesUser",
    "lib = E.load_engine()",
    "call_frame.program_double(E.DoubleControl(lib), call_frame.RESULT_POINTS)",
    "user = CtypesUser(lib)",
    "M.init(0); user.init(0); M.size_ts('NODE', 'N1', 'P'); user.size_ts('NODE', 'N1', 'P')",
]


def loop_body(name: str, contender: str, calls: int) -> str:
    """A program making `calls` calls of one contender with the case's positional arguments."""
    return "\n".join([
        "import sys",
        f"sys.path.insert(0, {str(HERE)!r})",
        "import _pyQorvane as M, _bench_reference as R, call_frame",
        *ENGINE_SETUP,
        f"case = [c for c in call_frame.cases() if c.name == {name!r}][0]",
        CONTENDERS[contender].format(name=name),
        "args = case.args",
        f"for _ in range({calls}):",
        "    f(*args)",
    ])


def instructions(program: str) -> int:
    env = dict(os.environ, PYTHONHASHSEED="0", OPENBLAS_NUM_THREADS="1")
    with tempfile.TemporaryDirectory() as tmp:
        script = Path(tmp) / "loop.py"
        script.write_text(program)
        done = subprocess.run(["valgrind", "--tool=callgrind", f"--callgrind-out-file={tmp}/out",
                               sys.executable, str(script)], capture_output=True, text=True, env=env)
    found = COLLECTED.search(done.stderr)
    if done.returncode != 0 or found is None:
        raise RuntimeError(f"callgrind failed: {done.stderr[-1000:]}")
    return int(found.group(1))


def per_call(name: str, contender: str, calls: int) -> float:
    return (instructions(loop_body(name, contender, calls)) - instructions(loop_body(name, contender, 0))) / calls


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--functions", default=",".join(c.name for c in call_frame.cases()))
    parser.add_argument("--calls", type=int, default=CALLS)
    parser.add_argument("--out", type=Path, default=HERE / "results" / "instructions.json")
    options = parser.parse_args()
    rows = []
    for name in options.functions.split(","):
        row = {"function": name, **{c: per_call(name, c, options.calls) for c in CONTENDERS}}
        row["ratio"] = row["module"] / row["minimal"]
        row["ctypes_ratio"] = row["ctypes"] / row["module_engine"]
        rows.append(row)
        print(f"{name:15s} module frame {row['module']:7.0f}  minimal frame {row['minimal']:7.0f}  "
              f"ratio {row['ratio']:.2f}  module {row['module_engine']:7.0f}  ctypes {row['ctypes']:7.0f}  "
              f"ctypes / module {row['ctypes_ratio']:.1f}", flush=True)
    options.out.parent.mkdir(parents=True, exist_ok=True)
    options.out.write_text(json.dumps(rows, indent=2) + "\n")
    return 0


if __name__ == "__main__":
    sys.exit(main())
