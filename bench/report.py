"""The bench's results as Markdown tables, for the terminal and for docs/performance.md."""

from __future__ import annotations

NS_PER_US = 1e3
NS_PER_MS = 1e6


def _table(header: list[str], rows: list[list[str]]) -> str:
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def _ns(value: float) -> str:
    if value >= NS_PER_MS:
        return f"{value / NS_PER_MS:.2f} ms"
    if value >= 10 * NS_PER_US:
        return f"{value / NS_PER_US:.1f} µs"
    return f"{value:.0f}"


def _mark(ok: bool | None) -> str:
    return "" if ok is None else ("yes" if ok else "**no**")


def machine_section(m: dict) -> str:
    return "\n".join([
        f"- processor: {m['cpu']}, {m['cores']} cores; pinned to core {m.get('pinned_core')}",
        f"- Python {m['python']}, numpy {m['numpy']}, {m['platform']}",
        f"- load average (1, 5, 15 min) at start {m.get('load_average_start')}, at end {m.get('load_average_end')}",
    ])


def call_frame_section(rows: list[dict]) -> str:
    header = ["function", "call", "module", "module frame over no-op", "floor (a)", "minimal (b)",
              "minimal over session", "ctypes (c)", "frame / (b)", "module / minimal over session",
              "ctypes / module", "targets met"]
    body = [[r["function"], r["call"], _ns(r["module"]), _ns(r["module_noop"]), _ns(r["floor"]),
             _ns(r["minimal_noop"]), _ns(r["minimal_session"]), _ns(r["ctypes"]),
             f"{r['frame_ratio_to_minimal']:.2f}", f"{r['ratio_to_minimal_session']:.2f}",
             f"{r['speedup_over_ctypes']:.1f}", _mark(r["meets_targets"])] for r in rows]
    return "Nanoseconds per call (minimum of the runs).\n\n" + _table(header, body)


def result_ts_section(rows: list[dict]) -> str:
    header = ["n", "result_ts", "its frame over no-op", "floor", "floor from zeroed arrays",
              "floor from arrays zeroed twice", "result_ts / floor", "result_ts / floor zeroed twice",
              "faults per call (result_ts, floor)", "target met"]
    body = [[f"{r['n']:,}", _ns(r["module"]), _ns(r["module_noop"]), _ns(r["floor"]), _ns(r["zeroed_floor"]),
             _ns(r["twice_zeroed_floor"]), f"{r['ratio_to_floor']:.2f}", f"{r['ratio_to_twice_zeroed_floor']:.2f}",
             f"{r['module_faults']:.0f}, {r['floor_faults']:.0f}",
             _mark(r["meets_target"]) if r["n"] >= 1000 else ""] for r in rows]
    return _table(header, body)


def set_col_node_section(rows: list[dict]) -> str:
    header = ["points", "tim, val given as", "set_col_node", "minimal over session", "ratio"]
    body = [[str(r["n"]), r["input"], _ns(r["module"]), _ns(r["minimal_session"]),
             f"{r['ratio_to_minimal_session']:.2f}"] for r in rows]
    return _table(header, body)


def _steady(steady: dict) -> str:
    header = ["junctions", "pipes", "load + steady state (fastest of the runs)", "peak memory", "status"]
    body = []
    for r in steady["rows"]:
        if "error" in r:
            body.append([f"{r['junctions']:,}", f"{r['pipes']:,}", "—", "—", r["error"][:120]])
        else:
            body.append([f"{r['junctions']:,}", f"{r['pipes']:,}", f"{r['seconds']:.3f} s",
                         f"{r['peak_kib'] / 1024:.0f} MiB", str(r["status"])])
    exponent = steady.get("growth_exponent")
    tail = (f"\n\nFitted growth exponent of the time: {exponent:.2f} (target at most 1.2: "
            f"{_mark(steady['meets_target'])})." if exponent is not None else "\n\nNo growth exponent: too few loads succeeded.")
    return _table(header, body) + tail


def _transient(t: dict) -> str:
    if "reach_updates_per_s" not in t:
        return f"Transient run failed: {t.get('full_store')} / {t.get('sparse_store')}"
    full, sparse = t["full_store"], t["sparse_store"]
    return "\n".join([
        f"- network: {t['junctions']:,} junctions, {t['pipes']:,} pipes, {full.get('total_reaches', t['reaches']):,} "
        f"reaches, {full.get('step_count', t['steps']):,} steps of {full.get('time_step')} s",
        f"- time loop storing 2 frames: {sparse['seconds']:.3f} s, **{t['reach_updates_per_s']:.3g} reach-updates/s** "
        f"(target at least 1e8: {_mark(t['meets_target'])})",
        f"- storing every step ({full.get('stored_points')} frames of {t['values_per_frame']:.0f} values): "
        f"{full['seconds']:.3f} s, {t['reach_updates_per_s_storing_every_step']:.3g} reach-updates/s",
        f"- memory per reach (peak less the loaded model, 2 frames stored): {t['bytes_per_reach']:.0f} bytes",
        f"- memory per stored result point: {t.get('bytes_per_stored_point', float('nan')):.2f} bytes",
    ])


def _option(row: dict) -> str:
    """One transient option's time loop against the loop without it."""
    if "ratio" not in row:
        return f"- with `{row['line']}` ({row['option']}): failed: {row['on'].get('error') or row['off'].get('error')}"
    return (f"- with `{row['line']}` ({row['option']}): {row['on']['seconds']:.3f} s against "
            f"{row['off']['seconds']:.3f} s without, {row['ratio']:.2f}x the time loop "
            f"(target at most {row['target']}x: {_mark(row['meets_target'])})")


def _road(r: dict) -> str:
    if "error" in r:
        return f"Road failed: {r['error']}"
    lines = [
        f"- network: {r['junctions']:,} junctions, {r['pipes']:,} pipes, {r['steps']} steps",
        f"- loadmodel {r['load_s']:.2f} s, run_simulation {r['run_s']:.2f} s, "
        f"reading {r['curves_read']:,} of {r['curves']:,} curves ({r['points_read']:,} points) {r['read_s']:.1f} s; "
        f"peak memory {r['peak_kib'] / 1024:.0f} MiB",
    ]
    if r["curves_read"] < r["curves"]:
        per_curve = r["read_s"] / max(r["curves_read"], 1)
        lines.append(f"- the read stopped at its time budget; at {per_curve * 1e3:.2f} ms per curve every curve "
                     f"would take about {per_curve * r['curves']:.0f} s")
    lines.append("- one curve read (size_ts + result_ts) by network size: " + ", ".join(
        f"{s['junctions']:,} junctions {s['seconds_per_curve'] * 1e6:.0f} µs" for s in r["curve_read_by_size"]
        if "seconds_per_curve" in s))
    return "\n".join(lines)


def _real_networks(real: dict) -> str:
    if real.get("skipped"):
        return "Skipped: " + real["skipped"]
    header = ["network", "load + steady state (fastest of the runs)", "iterations", "status"]
    body = [[r["network"], "—", "—", r["error"][:120]] if "error" in r else
            [r["network"], f"{r['seconds'] * 1000:.1f} ms", str(r["iterations"]), str(r["status"])]
            for r in real["rows"]]
    return _table(header, body)


def real_network_runs_section(real: dict) -> str:
    """30 s water-hammer runs of real networks against their fine-step runs."""
    header = ["network", "travel times", "step", "set by", "reaches", "lumped pipes", "largest adjustment",
              "threads", "run time", "worst surge error", "fine step", "fine run time", "fine run's own error", "targets met"]
    body = []
    for r in real["rows"]:
        if "error" in r or r.get("status") != 1:
            body.append([r["network"], r.get("travel_times", "—"), *["—"] * 11,
                         str(r.get("error", "the run failed"))[:120]])
            continue
        met = bool(r.get("targets_met"))
        body.append([r["network"], r["travel_times"], f"{r['time_step']:.4g} s", r["set_by"], f"{r['reaches']:,}",
                     str(r["lumped"]), f"{r['adjustment']:.3f}", str(r.get("threads", "—")), f"{r['seconds']:.2f} s",
                     f"{100 * r['surge_error']:.2f} %", f"{r['fine_step']:.4g} s", f"{r['fine_seconds']:.1f} s",
                     f"{100 * r['fine_own_error']:.2f} %", _mark(met)])
    intro = ("30 s, the demand of the junction with the largest demand stopped linearly over 0.5 s from 1 s; the "
             "error is the largest difference of a junction's highest rise or deepest drop from the fine run's "
             "(a 16th of the default step, travel times interpolated, wave-speed tolerance 0.0001), relative to the fine run's largest surge; "
             "the fine run's own error is that of a run at twice its step. Targets: at most 2 s and 2 %.")
    skipped = f"\n\nSkipped: {real['skipped']}" if real.get("skipped") else ""
    return intro + "\n\n" + _table(header, body) + skipped


def cavity_section(c: dict) -> str:
    """The time loop with column separation on against off."""
    header = ["case", "off", "on", "on / off", "largest cavity at the far corner", "target met"]
    body = []
    for r in c["rows"]:
        if "ratio" not in r:
            body.append([r["case"], "—", "—", "—", "—", str(r["off"].get("error") or r["on"].get("error"))[:120]])
            continue
        cavity = r["on"].get("largest_cavity")
        body.append([r["case"], f"{r['off']['seconds']:.3f} s", f"{r['on']['seconds']:.3f} s", f"{r['ratio']:.2f}",
                     "—" if cavity is None else f"{cavity:.3g} m3", _mark(r["meets_target"])])
    intro = (f"{c['junctions']:,} junctions, {c['reaches']:,} reaches, {c['steps']:,} steps, 2 frames stored; "
             "target: on / off at most 1.5.")
    return intro + "\n\n" + _table(header, body)


def options_section(rows: list[dict]) -> str:
    """The time loop with each transient option on against off."""
    return "\n".join(_option(row) for row in rows)


def engine_section(engine: dict) -> str:
    cavities = ["### Column separation", cavity_section(engine["cavities"])] if "cavities" in engine else []
    options = ["### Transient options", options_section(engine["options"])] if "options" in engine else []
    if "steady" not in engine:  # the cavity or option rows alone
        return "\n\n".join([*cavities, *options])
    real = ["### Larger public networks", _real_networks(engine["real"])] if "real" in engine else []
    return "\n\n".join(["### Steady state", _steady(engine["steady"]), *real, "### Transient time loop",
                        _transient(engine["transient"]), *cavities, *options,
                        "### The whole road on the largest network", _road(engine["road"])])


def render(results: dict) -> str:
    parts = ["## Machine", machine_section(results["machine"])]
    if "real_network_runs" in results:
        parts += ["## Real networks", real_network_runs_section(results["real_network_runs"])]
    if "call_frame" in results:
        parts += ["## Call frame", call_frame_section(results["call_frame"])]
    if "arrays" in results:
        parts += ["## Arrays: result_ts", result_ts_section(results["arrays"]["result_ts"]),
                  "## Arrays: set_col_node", set_col_node_section(results["arrays"]["set_col_node"])]
    if "engine" in results:
        parts += ["## Engine", engine_section(results["engine"])]
    return "\n\n".join(parts) + "\n"
