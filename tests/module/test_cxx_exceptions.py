"""C++ exceptions thrown under a routine stop at its edge as the matching Python exception, leaving nothing behind."""
import pytest

REPEATS = 500
WARM_UP = 50
TRACED_BOUND_BYTES = 4096  # far below one small object per call

# Kind thrown by the double's SetInfoCourbe, the exception the call raises, its message.
THROWN = [
    (1, MemoryError, ""),
    (5, MemoryError, ""),
    (4, OverflowError, "_pyQorvane.size_ts: double: SetInfoCourbe overflowed"),
    (2, RuntimeError, "_pyQorvane.size_ts: double: SetInfoCourbe threw"),
    (3, RuntimeError, "_pyQorvane.size_ts: unknown C++ exception"),
]


@pytest.mark.parametrize("kind, exception, message", THROWN,
                         ids=["bad_alloc", "length_error", "overflow_error", "runtime_error", "not-std"])
def test_engine_exception_becomes_the_matching_python_exception(fresh, kind, exception, message):
    r = fresh(f"""
import gc, tracemalloc
typelt, eid, attribut = "".join("NODE"), "".join("N5"), "".join("P")
def throwing_call():
    dbl.reset()
    dbl.throws("SetInfoCourbe", {kind})
    try:
        M.size_ts(typelt, eid, attribut)
    except {exception.__name__} as caught:
        return str(caught)
    return "no exception"
M.init(2)
first = throwing_call()  # its trace line was queued before the engine threw
M.pyvuzizi.debug = 0
for _ in range({WARM_UP}):
    throwing_call()
gc.collect()
counts = [sys.getrefcount(obj) for obj in (typelt, eid, attribut)]
tracemalloc.start()
start = tracemalloc.get_traced_memory()[0]
for _ in range({REPEATS}):
    throwing_call()
gc.collect()
growth = tracemalloc.get_traced_memory()[0] - start
tracemalloc.stop()
same_counts = counts == [sys.getrefcount(obj) for obj in (typelt, eid, attribut)]
dbl.reset()
M.pyvuzizi.debug = 2
result = [first, growth, same_counts, M.size_ts("NODE", "N6", "P")]
""")
    first, growth, same_counts, next_count = r.value
    assert first == message
    assert growth < TRACED_BOUND_BYTES and same_counts
    assert next_count == 0  # the double's default count: the next call runs normally
    assert r.out == " Seeking P from NODE N5\n Seeking P from NODE N6\n"
