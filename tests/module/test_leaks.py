"""Repeated calls on success and failure paths leave no memory, references or numpy descriptors behind."""

from __future__ import annotations

import dataclasses
import gc
import os
import sys
import tracemalloc
import warnings
from typing import Callable

import numpy as np
import pytest

import _pyQorvane as M
from arbitrary_objects import (Boom, OddSequence, RaisesEverywhere, RaisesOddly, RaisesOnFloat, RaisesOnInt,
                               RaisesOnStr)

MODULE_ERROR = getattr(M, "__pyQorvane_error")
ITERATIONS_ENV = "QORVANE_LEAK_ITERATIONS"
ITERATIONS = int(os.environ.get(ITERATIONS_ENV, 2000))
WARM_UP = 50
# Growth allowed over all iterations of one case: far below one small object per call.
TRACED_BOUND_BYTES = 4096
# Resident growth allowed over the run through every case: a leak of 32 bytes a call would exceed it.
RSS_CALLS = 20 * ITERATIONS
RSS_BOUND_BYTES = 1 << 20
SERIES = 64


@dataclasses.dataclass
class Case:
    label: str
    name: str
    make: Callable[[], tuple]  # fresh (args, kwargs) for the case
    raises: type | tuple | None = None


def f32(*values):
    return np.array(values, dtype=np.float32)


def text(value: str) -> str:
    """A str object of its own, not shared with the interpreter's constants."""
    return "".join(list(value))


CASES = [
    # Success paths.
    Case("init", "init", lambda: ((0,), {})),
    Case("quit", "quit", lambda: ((), {})),
    Case("loadmodel", "loadmodel", lambda: ((text("networks/net.inp"),), {})),
    Case("loadmodel-bytes", "loadmodel", lambda: ((b"net\x00tail",), {})),
    Case("get_unit_info", "get_unit_info", lambda: ((text("P"),), {})),
    Case("get_node", "get_node", lambda: ((), {"eid": text("N1")})),
    Case("get_node-array-text", "get_node", lambda: ((np.frombuffer(b"N1\x00\x00", dtype=np.uint8),), {})),
    Case("set_col_node-own-arrays", "set_col_node", lambda: ((text("N1"), text("CH"), f32(0, 1, 2), f32(5, 6, 7)), {})),
    Case("set_col_node-copied", "set_col_node",
         lambda: ((text("N1"), b"CH", [0.0, 1.0, 2.0], np.array([5.0, 6.0, 7.0])), {"nbp": 3})),
    Case("set_col_node-strided", "set_col_node",
         lambda: ((text("N1"), text("CH"), np.arange(8, dtype=np.float32)[::2], np.ones((1, 4), order="F")), {})),
    Case("run_simulation", "run_simulation", lambda: ((1.5, text("2")), {})),
    Case("size_ts", "size_ts", lambda: ((text("NODE"), text("N1"), text("P")), {})),
    Case("result_ts", "result_ts", lambda: ((SERIES,), {})),
    Case("result_ts-empty", "result_ts", lambda: ((0.0,), {})),
    # Failure paths: parsing, each conversion rule, the array checks.
    Case("init-parsing", "init", lambda: ((1, 2), {}), TypeError),
    Case("init-none", "init", lambda: ((None,), {}), TypeError),
    Case("init-text", "init", lambda: ((text("abc"),), {}), ValueError),
    Case("init-overflow", "init", lambda: ((2**40,), {}), OverflowError),
    Case("init-empty-list", "init", lambda: (([],), {}), IndexError),
    Case("init-raising", "init", lambda: ((RaisesOnInt(),), {}), Boom),
    Case("init-odd-exception", "init", lambda: ((RaisesOddly(),), {}), Exception),
    Case("init-odd-sequence", "init", lambda: ((OddSequence(),), {}), IndexError),
    Case("loadmodel-non-ascii", "loadmodel", lambda: ((text("r\u00e9seau.inp"),), {}), UnicodeEncodeError),
    Case("loadmodel-raising", "loadmodel", lambda: ((RaisesOnStr(),), {}), Boom),
    Case("get_unit_info-strided", "get_unit_info", lambda: ((np.arange(8, dtype=np.uint8)[::2],), {}), ValueError),
    Case("get_node-raising", "get_node", lambda: ((RaisesEverywhere(),), {}), Boom),
    Case("set_col_node-eid", "set_col_node", lambda: ((RaisesOnStr(), "CH", f32(1), f32(1)), {}), Boom),
    Case("set_col_node-nbp", "set_col_node", lambda: ((text("N1"), text("CH"), f32(0, 1, 2), f32(5, 6, 7), 4), {}),
         MODULE_ERROR),
    Case("set_col_node-nbp-raising", "set_col_node",
         lambda: ((text("N1"), text("CH"), f32(0, 1, 2), f32(5, 6, 7)), {"nbp": RaisesOnInt()}), Boom),
    Case("set_col_node-val-length", "set_col_node", lambda: ((text("N1"), text("CH"), f32(0, 1, 2), f32(1, 2, 3, 4, 5)), {}),
         ValueError),
    Case("set_col_node-val-list-length", "set_col_node",
         lambda: ((text("N1"), text("CH"), [0.0, 1.0, 2.0], [1.0, 2.0]), {}), ValueError),
    Case("set_col_node-val-axes", "set_col_node",
         lambda: ((text("N1"), text("CH"), f32(0, 1), [[1.0, 2.0], [3.0, 4.0]]), {}), ValueError),
    Case("set_col_node-ragged", "set_col_node", lambda: ((text("N1"), text("CH"), [[1.0], [2.0, 3.0]], f32(1)), {}),
         ValueError),
    Case("set_col_node-unconvertible", "set_col_node", lambda: ((text("N1"), text("CH"), object(), f32(1)), {}),
         TypeError),
    Case("set_col_node-raising-item", "set_col_node", lambda: ((text("N1"), text("CH"), f32(1), [RaisesOnFloat()]), {}),
         Boom),
    Case("set_col_node-text-array", "set_col_node",
         lambda: ((text("N1"), text("CH"), f32(1, 2), np.array(["a", "b"])), {}), ValueError),
    Case("run_simulation-text", "run_simulation", lambda: ((text("soon"), 1.0), {}), ValueError),
    Case("run_simulation-none", "run_simulation", lambda: ((1.0, None), {}), TypeError),
    Case("size_ts-non-ascii", "size_ts", lambda: ((text("NODE"), text("N1"), text("\u00e9")), {}), UnicodeEncodeError),
    Case("result_ts-negative", "result_ts", lambda: ((-1,), {}), ValueError),
    Case("result_ts-raising", "result_ts", lambda: ((RaisesOnInt(),), {}), Boom),
]
FAILURES = [case for case in CASES if case.raises is not None]


def run(case: Case, args, kwargs, dbl) -> None:
    function = getattr(M, case.name)
    dbl.reset()  # the double's journal would grow with every call
    if case.raises is None:
        function(*args, **kwargs)
        return
    try:
        function(*args, **kwargs)
    except case.raises:
        return
    raise AssertionError(f"{case.label}: no {case.raises} raised")


def repeat(case: Case, args, kwargs, dbl, times: int) -> None:
    for _ in range(times):
        run(case, args, kwargs, dbl)


SMALL_INTS = range(-5, 257)  # shared by the whole interpreter: their counts move with everything


def own_object(obj) -> bool:
    return not (obj is None or isinstance(obj, bool) or (type(obj) is int and obj in SMALL_INTS))


def referenced(objects):
    """The argument objects and the items of the list arguments, whose counts a leak would raise."""
    found = []
    for obj in objects:
        found.append(obj)
        if isinstance(obj, list):
            found.extend(obj)
    return [obj for obj in found if own_object(obj)]


def resident_bytes() -> int:
    if sys.platform == "win32":
        return windows_working_set_bytes()
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


def windows_working_set_bytes() -> int:
    import ctypes
    from ctypes import wintypes

    class Counters(ctypes.Structure):
        _fields_ = [("cb", wintypes.DWORD), ("PageFaultCount", wintypes.DWORD)] + [
            (name, ctypes.c_size_t) for name in (
                "PeakWorkingSetSize", "WorkingSetSize", "QuotaPeakPagedPoolUsage", "QuotaPagedPoolUsage",
                "QuotaPeakNonPagedPoolUsage", "QuotaNonPagedPoolUsage", "PagefileUsage", "PeakPagefileUsage")]

    kernel32 = ctypes.WinDLL("kernel32")
    kernel32.GetCurrentProcess.restype = wintypes.HANDLE
    counters = Counters(cb=ctypes.sizeof(Counters))
    if not kernel32.K32GetProcessMemoryInfo(wintypes.HANDLE(kernel32.GetCurrentProcess()),
                                            ctypes.byref(counters), counters.cb):
        raise ctypes.WinError()
    return counters.WorkingSetSize


def under_memory_tool() -> bool:
    """A sanitizer runtime or valgrind keeps freed memory aside, so resident size says nothing."""
    preload = os.environ.get("LD_PRELOAD", "")
    return "asan" in preload or "valgrind" in preload or "vgpreload" in preload


@pytest.fixture(autouse=True)
def quiet():
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        yield
    M.pyvuzizi.debug = 0


@pytest.mark.parametrize("case", CASES, ids=lambda case: case.label)
def test_repeated_calls_keep_traced_memory_and_argument_references(case, dbl):
    args, kwargs = case.make()
    watched = referenced(list(args) + list(kwargs.values()))
    repeat(case, args, kwargs, dbl, WARM_UP)
    gc.collect()
    counts = [sys.getrefcount(obj) for obj in watched]
    tracemalloc.start()
    try:
        start, _ = tracemalloc.get_traced_memory()
        repeat(case, args, kwargs, dbl, ITERATIONS)
        gc.collect()
        end, _ = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    growth = end - start
    print(f"{case.label}: {growth} bytes traced growth over {ITERATIONS} calls")
    assert growth < TRACED_BOUND_BYTES, f"{case.label}: {growth} bytes more after {ITERATIONS} calls"
    assert [sys.getrefcount(obj) for obj in watched] == counts, "an argument's reference count changed"


SHARED_DESCRIPTORS = ("float32", "float64", "int32", "uint8", "bool")


def test_failed_conversions_keep_numpy_shared_descriptors(dbl):
    descriptors = [np.dtype(name) for name in SHARED_DESCRIPTORS]
    prepared = [(case, *case.make()) for case in FAILURES]
    for case, args, kwargs in prepared:
        repeat(case, args, kwargs, dbl, WARM_UP)
    gc.collect()
    before = [sys.getrefcount(descriptor) for descriptor in descriptors]
    for case, args, kwargs in prepared:
        repeat(case, args, kwargs, dbl, ITERATIONS)
    gc.collect()
    after = [sys.getrefcount(descriptor) for descriptor in descriptors]
    assert dict(zip(SHARED_DESCRIPTORS, after)) == dict(zip(SHARED_DESCRIPTORS, before))


def test_successful_array_calls_keep_numpy_shared_descriptors(dbl):
    descriptors = [np.dtype(name) for name in SHARED_DESCRIPTORS]
    prepared = [(case, *case.make()) for case in CASES if case.raises is None and case.name in ("set_col_node", "result_ts")]
    for case, args, kwargs in prepared:
        repeat(case, args, kwargs, dbl, WARM_UP)
    gc.collect()
    before = [sys.getrefcount(descriptor) for descriptor in descriptors]
    for case, args, kwargs in prepared:
        repeat(case, args, kwargs, dbl, ITERATIONS)
    gc.collect()
    assert [sys.getrefcount(descriptor) for descriptor in descriptors] == before


@pytest.mark.skipif(under_memory_tool(), reason="freed memory is held back by the memory tool")
def test_resident_size_stays_bounded_over_every_path(dbl):
    prepared = [(case, *case.make()) for case in CASES]
    for case, args, kwargs in prepared:
        repeat(case, args, kwargs, dbl, WARM_UP)
    gc.collect()
    start = resident_bytes()
    rounds = max(1, RSS_CALLS // len(prepared))
    for _ in range(rounds):
        for case, args, kwargs in prepared:
            run(case, args, kwargs, dbl)
    gc.collect()
    growth = resident_bytes() - start
    print(f"resident growth {growth} bytes over {rounds * len(prepared)} calls")
    assert growth < RSS_BOUND_BYTES


# Calls whose results hold new objects: the caller's reference must be the only one.
OWNED_RESULTS = [("result_ts", (SERIES,)), ("result_ts", (0,)), ("get_node", ("N1",)), ("get_unit_info", ("P",)),
                 ("init", (0,))]


@pytest.mark.parametrize("name, args", OWNED_RESULTS, ids=lambda item: str(item))
def test_results_belong_to_the_caller_alone(name, args, dbl):
    result = getattr(M, name)(*args)
    parts = list(result) if isinstance(result, tuple) else []
    if isinstance(result, tuple):
        assert sys.getrefcount(result) == 2  # the name here and the call's argument
    for part in parts:
        if isinstance(part, np.ndarray):
            assert part.base is None and part.flags.owndata
            assert sys.getrefcount(part) == 4  # the tuple, the list, the loop name, the call's argument
