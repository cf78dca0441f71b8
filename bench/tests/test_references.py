"""The references do the module's work: on the successful path against the test double, the minimal frames
over the session routines and the ctypes user return what the module returns, and the frames over no-ops
return zeroed outputs. Needs the double first on the library path and the build's module and references
importable (as `make bench` sets them); skipped otherwise."""

import numpy as np
import pytest

M = pytest.importorskip("_pyQorvane", reason="the module is not on PYTHONPATH")
R = pytest.importorskip("_bench_reference", reason="the bench references are not on PYTHONPATH")

import call_frame  # noqa: E402
import engine_ctypes as E  # noqa: E402
from ctypes_user import CtypesUser  # noqa: E402

CURVE_POINTS = call_frame.RESULT_POINTS


@pytest.fixture(scope="module")
def lib():
    lib = E.load_engine()
    try:
        E.DoubleControl(lib)
    except RuntimeError as exc:
        pytest.skip(str(exc))
    return lib


@pytest.fixture
def opened(lib):
    double = E.DoubleControl(lib)
    call_frame.program_double(double, CURVE_POINTS)
    user = CtypesUser(lib)
    for init in (M.init, R.session_init, user.init):
        init(0)
    M.size_ts("NODE", "N1", "P")
    R.session_size_ts("NODE", "N1", "P")
    user.size_ts("NODE", "N1", "P")
    yield user
    double.reset()


def same(a, b):
    if isinstance(a, tuple):
        return len(a) == len(b) and all(same(x, y) for x, y in zip(a, b))
    if isinstance(a, np.ndarray):
        return a.dtype == b.dtype and np.array_equal(a, b)
    return type(a) is type(b) and a == b


@pytest.mark.parametrize("case", call_frame.cases(), ids=lambda c: c.name)
def test_minimal_frame_over_the_session_returns_what_the_module_returns(opened, case):
    expected = getattr(M, case.name)(*case.args)
    assert same(getattr(R, f"session_{case.name}")(*case.args), expected)
    if case.kwargs is not None:
        assert same(getattr(R, f"session_{case.name}")(**case.kwargs), expected)


@pytest.mark.parametrize("case", call_frame.cases(), ids=lambda c: c.name)
def test_ctypes_user_gets_the_module_results(opened, case):
    expected = getattr(M, case.name)(*case.args)
    got = getattr(opened, case.name)(*case.args)
    if case.name == "quit":
        assert got is None and expected is None
    elif case.name == "result_ts":
        assert all(np.array_equal(g, e) for g, e in zip(got, expected))
    else:
        assert got == expected


@pytest.mark.parametrize("case", call_frame.cases(), ids=lambda c: c.name)
def test_frames_over_noops_leave_outputs_zero(opened, case):
    module_noop = R.rebase(getattr(M, case.name), case.name)
    assert same(module_noop(*case.args), getattr(R, f"noop_{case.name}")(*case.args))


def test_the_module_does_take_the_successful_path(opened):
    assert M.init(0) == b"2.2"
    assert M.get_node("N1") == (1, 12.5, 0.75, 42.0)
    assert M.size_ts("NODE", "N1", "P") == CURVE_POINTS
    vdate, vval = M.result_ts(CURVE_POINTS)
    assert np.array_equal(vdate, np.arange(CURVE_POINTS)) and np.array_equal(vval, np.full(CURVE_POINTS, 2.0))


def test_rebase_refuses_what_holds_no_module_frame():
    with pytest.raises(TypeError):
        R.rebase(len, "init")
    with pytest.raises(ValueError):
        R.rebase(M.init, "no_such_routine")


@pytest.mark.parametrize("n", [0, 1, 1000])
def test_array_floors_copy_the_stored_curve(n):
    R.prepare_curve(n)
    for pair in (R.filled_pair, R.zeroed_pair, R.twice_zeroed_pair):
        times, values = pair(n)
        assert times.dtype == values.dtype == np.float64
        assert np.array_equal(times, np.arange(n) * 0.5) and np.array_equal(values, np.arange(n) % 7)
    with pytest.raises(ValueError):
        R.filled_pair(n + 1)
