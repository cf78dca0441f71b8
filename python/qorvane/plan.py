"""A run's plan, read from the engine's trace lines: the time step and what sets it, reaches, wave-speed
adjustment, and the step count and memory of a given horizon."""
from __future__ import annotations

import math
import re
from collections.abc import Sequence
from dataclasses import dataclass

from .errors import RunError

PLAN_LINE = "run plan:"
HORIZON_LINE = "run horizon:"
TRAVEL_LINE = "travel times:"  # written only under TRAVELTIMES INTERPOLATE
TRAVEL_FIELDS = {"interpolated pipes": r"(\d+) pipes interpolated"}
THREADS_LINE = "step threads:"  # an engine without it runs on one thread
THREADS_FIELDS = {"threads": r"threads: (\d+)"}
NUMBER = r"([-+0-9.eE]+(?: ?%)?)"
PLAN_FIELDS = {
    "time step": rf"time step {NUMBER} s",
    "what sets the step": r"set by (.+?), [-+0-9.eE]+ reach",
    "reaches": rf"{NUMBER} reaches",
    "lumped pipes": rf"{NUMBER} lumped",
    "largest wave-speed adjustment": rf"adjustment {NUMBER}",
    "adjusted pipe": r"adjustment \S+ at pipe (\S+)",
}
HORIZON_FIELDS = {
    "horizon": rf"horizon: {NUMBER} s",
    "steps": rf"{NUMBER} steps",
    "points per curve": rf"{NUMBER} points",
    "bytes of results": rf"{NUMBER} bytes",
}
NO_PIPE = "-"
# The engine counts whole steps covering the horizon; a horizon within this many steps of a whole
# number of steps takes that number.
STEP_ROUNDING = 1e-9
MEBIBYTE = 1024 * 1024
PERCENT = 100


def _number(text: str) -> float:
    return float(text.rstrip(" %")) / PERCENT if text.endswith("%") else float(text)


def _fields(traces: Sequence[str], start: str, patterns: dict[str, str]) -> dict[str, str]:
    """The fields of the last trace line that starts with `start`; RunError naming what is missing."""
    lines = [t for t in traces if t.startswith(start)]
    if not lines:
        raise RunError(0, f"the engine wrote no {start!r} line at its trace level: this engine does not report "
                          "its run plan")
    found = {name: re.search(pattern, lines[-1]) for name, pattern in patterns.items()}
    missing = [name for name, match in found.items() if match is None]
    if missing:
        raise RunError(0, f"the engine's line {lines[-1]!r} gives no {', no '.join(missing)}")
    return {name: match.group(1) for name, match in found.items() if match is not None}


def _optional_fields(traces: Sequence[str], start: str, patterns: dict[str, str]) -> dict[str, str]:
    """As _fields, but nothing when no trace line starts with `start` (an engine may not write it)."""
    return _fields(traces, start, patterns) if any(t.startswith(start) for t in traces) else {}


@dataclass(frozen=True)
class StepPlan:
    """The part of a plan that does not depend on the horizon: the run's step and reaches."""

    time_step: float  # s
    set_by: str  # "pipe <id>", "event <id>" or "TIMESTEP"
    reaches: int
    lumped_pipes: int  # short pipes taken as lumped elements instead of reaches
    largest_adjustment: float  # largest relative change of a pipe's wave speed, e.g. 0.004
    adjusted_pipe: str | None  # the pipe with that change; None when no pipe keeps reaches
    interpolated_pipes: int  # pipes keeping their own travel time by interpolation (TRAVELTIMES INTERPOLATE)
    threads: int  # threads sharing each step

    @classmethod
    def from_traces(cls, traces: Sequence[str]) -> StepPlan:
        f = _fields(traces, PLAN_LINE, PLAN_FIELDS)
        pipe = f["adjusted pipe"].rstrip(",")
        travel = _optional_fields(traces, TRAVEL_LINE, TRAVEL_FIELDS)
        threads = _optional_fields(traces, THREADS_LINE, THREADS_FIELDS)
        return cls(_number(f["time step"]), f["what sets the step"], int(_number(f["reaches"])),
                   int(_number(f["lumped pipes"])), _number(f["largest wave-speed adjustment"]),
                   None if pipe == NO_PIPE else pipe, int(travel.get("interpolated pipes", "0")),
                   int(threads.get("threads", "1")))


@dataclass(frozen=True)
class Plan(StepPlan):
    """What a run up to `horizon` storing every `store_every` steps takes: its step count, the points each
    result curve holds and the memory of its results."""

    horizon: float  # s
    store_every: int
    steps: int
    points_per_curve: int
    result_bytes: int

    @classmethod
    def of_run(cls, traces: Sequence[str], store_every: int) -> Plan:
        """The plan a run wrote at its trace level."""
        step = StepPlan.from_traces(traces)
        f = _fields(traces, HORIZON_LINE, HORIZON_FIELDS)
        return cls(**vars(step), horizon=_number(f["horizon"]), store_every=store_every,
                   steps=int(_number(f["steps"])), points_per_curve=int(_number(f["points per curve"])),
                   result_bytes=int(_number(f["bytes of results"])))

    @classmethod
    def extrapolated(cls, step: StepPlan, one: Plan, two: Plan, horizon: float, store_every: int) -> Plan:
        """The plan of `horizon` from the step and two short runs of different point counts, whose result
        memory the engine gave: memory grows by the same amount with every stored point."""
        steps = max(1, math.ceil(horizon / step.time_step - STEP_ROUNDING))
        points = steps // store_every + 1
        per_point = (two.result_bytes - one.result_bytes) / (two.points_per_curve - one.points_per_curve)
        fixed = one.result_bytes - per_point * one.points_per_curve
        return cls(**vars(step), horizon=horizon, store_every=store_every, steps=steps, points_per_curve=points,
                   result_bytes=round(fixed + per_point * points))

    def __repr__(self) -> str:
        adjusted = f" at pipe {self.adjusted_pipe}" if self.adjusted_pipe else ""
        adjusted += f", {self.interpolated_pipes} interpolated pipes" if self.interpolated_pipes else ""
        adjusted += f"; {self.threads} threads" if self.threads > 1 else ""
        return (f"<qorvane.Plan: time step {self.time_step:.6g} s set by {self.set_by}; {self.reaches} reaches, "
                f"{self.lumped_pipes} lumped pipes, largest wave-speed adjustment {self.largest_adjustment:.3%}"
                f"{adjusted}; {self.horizon:g} s in {self.steps} steps storing every {self.store_every}: "
                f"{self.points_per_curve} points per curve, {self.result_bytes / MEBIBYTE:.1f} MiB of results>")
