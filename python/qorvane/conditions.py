"""Checks of a boundary-condition series before it reaches the raw module."""
from __future__ import annotations

import numpy as np
import numpy.typing as npt

from .errors import ConditionError

# The engine takes series of at most this many points.
MAX_POINTS = 20


def checked_series(node: str, times: npt.ArrayLike, values: npt.ArrayLike) -> tuple[
        npt.NDArray[np.float32], npt.NDArray[np.float32]]:
    """The series as the 32-bit arrays the engine receives; refuses what the engine would refuse or mangle."""
    try:
        t = np.asarray(times, dtype=np.float64)
        v = np.asarray(values, dtype=np.float64)
    except (TypeError, ValueError) as error:
        raise ConditionError(f"series at node {node!r}: times and values must be numbers ({error})") from None
    if t.ndim != 1 or v.ndim != 1:
        raise ConditionError(f"series at node {node!r}: times and values must be one-dimensional")
    if len(t) != len(v):
        raise ConditionError(f"series at node {node!r}: {len(t)} times but {len(v)} values")
    if not 1 <= len(t) <= MAX_POINTS:
        raise ConditionError(f"series at node {node!r}: {len(t)} points; the engine takes 1 to {MAX_POINTS}")
    with np.errstate(over="ignore"):
        t32, v32 = t.astype(np.float32), v.astype(np.float32)
    for name, wide, narrow in (("time", t, t32), ("value", v, v32)):
        bad = np.flatnonzero(~np.isfinite(narrow))
        if bad.size:
            raise ConditionError(f"series at node {node!r}: {name} {float(wide[bad[0]])!r} at point {bad[0]} is not a "
                                 f"finite 32-bit number")
    backwards = np.flatnonzero(np.diff(t32) < 0)
    if backwards.size:
        i = int(backwards[0]) + 1
        raise ConditionError(f"series at node {node!r}: times must not decrease, but point {i} ({t[i]:g} s) comes "
                             f"before point {i - 1} ({t[i - 1]:g} s)")
    return t32, v32
