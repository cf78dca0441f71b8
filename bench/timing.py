"""Repeated timing with the minimum of N runs, on one pinned core."""

from __future__ import annotations

import os
import resource
import timeit
from typing import Callable

NS_PER_S = 1e9
DEFAULT_REPEAT = 7
DEFAULT_RUN_SECONDS = 0.02  # length of one timed run; the loop count grows until a run lasts this long
MAX_CALIBRATION_STEPS = 12
GROWTH = 10


def pin_to_one_core() -> int | None:
    """Pins this process (and the children it starts) to its last allowed core; None where that isn't possible."""
    if not hasattr(os, "sched_setaffinity"):
        return None
    core = max(os.sched_getaffinity(0))
    os.sched_setaffinity(0, {core})
    return core


def loops_for(timer: timeit.Timer, run_seconds: float) -> int:
    """A loop count for which one timed run lasts at least `run_seconds`."""
    number = 1
    for _ in range(MAX_CALIBRATION_STEPS):
        if timer.timeit(number) >= run_seconds:
            return number
        number *= GROWTH
    return number


def ns_per_call(stmt: str, namespace: dict, setup: Callable[[], None] | None = None,
                repeat: int = DEFAULT_REPEAT, run_seconds: float = DEFAULT_RUN_SECONDS) -> float:
    """Nanoseconds per execution of `stmt`: the fastest of `repeat` runs. `setup` runs before each run, untimed."""
    timer = timeit.Timer(stmt, setup=setup or "pass", globals=namespace)
    number = loops_for(timer, run_seconds)
    return min(timer.repeat(repeat=repeat, number=number)) / number * NS_PER_S


def ns_per_call_each(statements: dict[str, tuple[str, dict]], setup: Callable[[], None] | None = None,
                     repeat: int = DEFAULT_REPEAT, run_seconds: float = DEFAULT_RUN_SECONDS) -> dict[str, float]:
    """`ns_per_call` for several contenders, given as name -> (stmt, namespace), timed in interleaved rounds:
    each round runs every contender once, so a slow spell of the machine falls on all of them alike rather
    than on whichever was being timed. The fastest round of each."""
    timers = {name: timeit.Timer(stmt, setup=setup or "pass", globals=namespace)
              for name, (stmt, namespace) in statements.items()}
    numbers = {name: loops_for(timer, run_seconds) for name, timer in timers.items()}
    best = {name: float("inf") for name in timers}
    for _ in range(repeat):
        for name, timer in timers.items():
            best[name] = min(best[name], timer.timeit(numbers[name]) / numbers[name])
    return {name: seconds * NS_PER_S for name, seconds in best.items()}


def minor_faults() -> int:
    """Minor page faults of this process so far."""
    return resource.getrusage(resource.RUSAGE_SELF).ru_minflt
