"""The bench: call frame and arrays against the journaling test double (this process), engine in fresh
processes over the stand-in engine. Prints the tables and writes bench/results/latest.json and latest.md.

Run with the double first on the library path and the module and bench references importable, as
`make bench` does."""

from __future__ import annotations

import argparse
import json
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE))

import machine  # noqa: E402
import report  # noqa: E402
import timing  # noqa: E402

# cavities, options: the engine's column-separation rows, or its rows of each transient option, alone;
# real-networks: water-hammer runs of Net3, Net6 and ky10 against a cached fine-step run
SECTIONS = ("frame", "arrays", "engine", "cavities", "options", "real-networks")
QUICK_REPEAT, QUICK_RUN_SECONDS = 3, 0.005


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", type=Path, default=Path("build"), help="meson build folder")
    parser.add_argument("--sections", default=",".join(SECTIONS), help="comma-separated: " + ", ".join(SECTIONS))
    parser.add_argument("--quick", action="store_true", help="short runs and small networks (a smoke run)")
    parser.add_argument("--repeat", type=int, default=timing.DEFAULT_REPEAT)
    parser.add_argument("--run-seconds", type=float, default=timing.DEFAULT_RUN_SECONDS)
    parser.add_argument("--out", type=Path, default=HERE / "results")
    options = parser.parse_args()
    sections = [s.strip() for s in options.sections.split(",") if s.strip()]
    unknown = set(sections) - set(SECTIONS)
    if unknown:
        parser.error(f"unknown sections: {', '.join(sorted(unknown))}")
    repeat, run_seconds = ((QUICK_REPEAT, QUICK_RUN_SECONDS) if options.quick
                           else (options.repeat, options.run_seconds))

    results: dict = {"machine": machine.describe(), "quick": options.quick}
    results["machine"]["pinned_core"] = timing.pin_to_one_core()
    if "frame" in sections or "arrays" in sections:
        import _bench_reference as reference
        import _pyQorvane as module

        import array_bench
        import call_frame

        if "frame" in sections:
            results["call_frame"] = call_frame.run(module, reference, repeat, run_seconds)
        if "arrays" in sections:
            results["arrays"] = array_bench.run(module, reference, repeat, run_seconds)
    if "engine" in sections:
        import engine_bench

        results["engine"] = engine_bench.run(options.build, options.out / "networks", quick=options.quick)
    elif "cavities" in sections or "options" in sections:
        import engine_bench

        sizes = {"min_reaches": 2_000, "steps": 100} if options.quick else {}
        work = options.out / "networks"
        results["engine"] = {}
        if "cavities" in sections:
            results["engine"]["cavities"] = engine_bench.cavity_section(options.build, work, **sizes)
        if "options" in sections:
            results["engine"]["options"] = engine_bench.option_rows(options.build, work, **sizes)
    if "real-networks" in sections:
        import engine_bench
        import real_network_runs

        nets = options.build.parent / "build-bench-nets"
        results["real_network_runs"] = real_network_runs.section(engine_bench.engine_env(options.build), nets,
                                                                 real_network_runs.NET3)
    results["machine"]["load_average_end"] = machine.load_average()

    text = report.render(results)
    print(text)
    options.out.mkdir(parents=True, exist_ok=True)
    (options.out / "latest.json").write_text(json.dumps(results, indent=2) + "\n")
    (options.out / "latest.md").write_text(text)
    print(f"written: {options.out / 'latest.json'}, {options.out / 'latest.md'}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
