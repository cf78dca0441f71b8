"""Array arguments of set_col_node and hidden array results of result_ts: copies, lengths, messages, ownership."""
import struct
import sys
import tracemalloc

import numpy as np
import pytest

import _pyQorvane as M

ERROR = M.__pyQorvane_error
F32 = np.float32
VAL_MESSAGE = "_pyQorvane._pyQorvane.set_col_node: failed to create array from the 4th argument `val`"
HIDDEN_MESSAGE = "failed to create intent(cache|hide)|optional array-- must have defined dimensions but got ("
NBP_CHECK = "(shape(tim, 0) == nbp) failed for 1st keyword nbp: set_col_node:nbp="
BIG = 1_000_000  # far beyond the points a series may have: refused after conversion, before the engine


def sent_points(dbl):
    rec = dbl.calls_of("SetNoeudQor")[-1].args[2]
    n = struct.unpack_from("<i", rec, 76)[0]
    return [struct.unpack_from("<dd", rec, 80 + 16 * i) for i in range(n)]


def widened(values):
    return [float(F32(v)) for v in values]


def peak_during(call):
    """Peak of memory traced while `call` runs, above what was traced before it, and what it left behind."""
    tracemalloc.start()
    try:
        base = tracemalloc.get_traced_memory()[0]
        tracemalloc.reset_peak()
        call()
        current, peak = tracemalloc.get_traced_memory()
    finally:
        tracemalloc.stop()
    return peak - base, current - base


# ---------------------------------------------------------------- input arrays: values, copies, ownership


@pytest.mark.parametrize(
    "tim, val",
    [
        (np.array([0.1, 0.2, 7.3], np.float64), np.array([1e-7, 3.3, -2.5], np.float64)),
        ([0.1, 0.2, 7.3], (1e-7, 3.3, -2.5)),
        (np.array([1, 2, 3], np.int64), np.array([4, 5, 6], np.int32)),
        (np.array([0.1, 0.2, 7.3], ">f4"), np.array([1e-7, 3.3, -2.5], ">f8")),
        (np.array([0.1, 9.0, 0.2, 9.0, 7.3], F32)[::2], np.array([1e-7, 3.3, -2.5], F32)),
        ([True, False, True], [1, 0, 1]),
    ],
    ids=["float64", "lists", "integers", "byte-swapped", "strided", "booleans"],
)
def test_inputs_reach_the_engine_as_32_bit_floats(dbl, tim, val):
    assert M.set_col_node("N1", "CH", tim, val) == 1
    assert sent_points(dbl) == list(zip(widened(np.asarray(tim, np.float64)), widened(np.asarray(val, np.float64))))


def test_nested_list_as_tim_is_read_in_column_order(dbl):
    tim = [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]]
    val = np.arange(6, dtype=F32)
    M.set_col_node("N1", "P", tim, val)
    assert [t for t, _ in sent_points(dbl)] == [1.0, 4.0, 2.0, 5.0, 3.0, 6.0]


@pytest.mark.parametrize("tim, val, count", [(2.5, 7.0, 1), (np.float32(3.0), [8.0], 1), (np.array(4.0), 9.0, 1)])
def test_a_number_is_a_series_of_one(dbl, tim, val, count):
    M.set_col_node("N1", "CS", tim, val)
    assert len(sent_points(dbl)) == count


def test_contiguous_float32_array_is_not_copied(dbl):
    tim = np.zeros(BIG, F32)
    refs = sys.getrefcount(tim)
    peak, left = peak_during(lambda: M.set_col_node("N1", "CH", tim, tim))
    assert peak < tim.nbytes // 4, f"a copy of {tim.nbytes} bytes was made ({peak} traced)"
    assert left < tim.nbytes // 4
    assert sys.getrefcount(tim) == refs
    assert dbl.ops() == []


@pytest.mark.parametrize(
    "make",
    [
        lambda: np.zeros(BIG, np.float64),
        lambda: np.zeros(2 * BIG, F32)[::2],
        lambda: np.zeros(BIG, ">f4"),
    ],
    ids=["float64", "strided", "byte-swapped"],
)
def test_other_arrays_are_copied_and_the_copy_released(dbl, make):
    tim = make()
    refs = sys.getrefcount(tim)
    peak, left = peak_during(lambda: M.set_col_node("N1", "CH", tim, tim))
    assert peak >= BIG * 4
    assert left < BIG, "the copy outlived the call"
    assert sys.getrefcount(tim) == refs
    assert dbl.ops() == []


@pytest.mark.parametrize(
    "nbp, val, exc",
    [
        (BIG - 1, None, ERROR),
        (None, np.zeros(3, F32), ValueError),
        (None, ["x"] * 3, ValueError),
        (None, object(), TypeError),
    ],
    ids=["nbp-check", "val-length", "val-strings", "val-object"],
)
def test_a_later_failure_releases_the_copy_of_tim(dbl, nbp, val, exc):
    tim = np.zeros(BIG, np.float64)
    refs = sys.getrefcount(tim)

    def failing_call():
        with pytest.raises(exc):
            M.set_col_node("N1", "CH", tim, tim if val is None else val, nbp)

    peak, left = peak_during(failing_call)
    assert peak >= BIG * 4
    assert left < BIG, "the copy of tim outlived the failed call"
    assert sys.getrefcount(tim) == refs
    assert dbl.ops() == []


def test_descriptor_references_are_kept(dbl):
    singles, doubles = np.dtype(F32), np.dtype(np.float64)
    refs = (sys.getrefcount(singles), sys.getrefcount(doubles))
    for _ in range(500):
        M.set_col_node("N1", "CH", np.array([1.0], F32), [2.0])
        M.set_col_node("N1", "CH", [1.0, 2.0], np.array([3.0, 4.0]))
        with pytest.raises(ValueError):
            M.set_col_node("N1", "CH", [1.0, 2.0], [1.0, 2.0, 3.0])
        with pytest.raises(ValueError):
            M.result_ts(-1)
        M.result_ts(0)
        M.result_ts(2)
    assert (sys.getrefcount(singles), sys.getrefcount(doubles)) == refs


def test_caller_arrays_are_neither_changed_nor_kept(dbl):
    tim = np.array([3.0, 1.0, 2.0], F32)
    val = np.array([0.1, 0.2, 0.3], np.float64)
    before = (tim.copy(), val.copy())
    refs = (sys.getrefcount(tim), sys.getrefcount(val))
    for _ in range(50):
        M.set_col_node("N1", "CH", tim, val)
    assert (sys.getrefcount(tim), sys.getrefcount(val)) == refs
    assert np.array_equal(tim, before[0]) and np.array_equal(val, before[1])


# ---------------------------------------------------------------- nbp and the length rules


@pytest.mark.parametrize("nbp", [None, 3])
def test_nbp_default_and_matching_value(dbl, nbp):
    tim = np.array([1.0, 2.0, 3.0], F32)
    assert M.set_col_node("N1", "CH", tim, tim * 2, nbp) == 1
    assert len(sent_points(dbl)) == 3


def test_nbp_by_keyword(dbl):
    tim = [1.0, 2.0]
    assert M.set_col_node(eid="N1", mode="CH", tim=tim, val=[3.0, 4.0], nbp=2) == 1
    assert sent_points(dbl) == [(1.0, 3.0), (2.0, 4.0)]


@pytest.mark.parametrize("tim, nbp", [([1.0, 2.0, 3.0], 4), ([1.0, 2.0, 3.0], 2), ([1.0, 2.0, 3.0], 0), ([], 1), ([1.0], -1), (5.0, 2)])
def test_nbp_unequal_to_the_length_of_tim(dbl, tim, nbp):
    with pytest.raises(ERROR) as caught:
        M.set_col_node("N1", "CH", tim, [1.0] * max(nbp, 1), nbp)
    assert str(caught.value) == f"{NBP_CHECK}{nbp}"
    assert dbl.ops() == []


@pytest.mark.parametrize(
    "nbp, exc, message",
    [
        ("x", ValueError, "_pyQorvane.set_col_node() 1st keyword (nbp) can't be converted to int"),
        (object(), TypeError, "_pyQorvane.set_col_node() 1st keyword (nbp) can't be converted to int"),
        (2**31, OverflowError, "Python int too large to convert to C int"),
    ],
)
def test_nbp_that_does_not_convert(dbl, nbp, exc, message):
    with pytest.raises(exc) as caught:
        M.set_col_node("N1", "CH", [1.0], [1.0], nbp)
    assert str(caught.value) == message
    assert dbl.ops() == []


def test_nbp_by_the_integer_rule(dbl):
    assert M.set_col_node("N1", "CH", [1.0, 2.0], [3.0, 4.0], 2.9) == 1
    assert M.set_col_node("N1", "CH", [1.0, 2.0], [3.0, 4.0], "2") == 1


@pytest.mark.parametrize(
    "tim, val, message",
    [
        ([1.0, 2.0, 3.0], [1.0] * 5, VAL_MESSAGE + " -- 0-th dimension must be fixed to 3 but got 5"),
        ([1.0, 2.0, 3.0], [1.0, 2.0], VAL_MESSAGE + " -- 0-th dimension must be fixed to 3 but got 2"),
        ([1.0, 2.0, 3.0], [1.0], "unexpected array size: new_size=3, got array with arr_size=1\n"),
        ([1.0, 2.0, 3.0], [], "unexpected array size: new_size=3, got array with arr_size=0\n"),
        ([], [], "unexpected array size: new_size=1, got array with arr_size=0\n"),
        ([], [1.0, 2.0], VAL_MESSAGE + " -- 0-th dimension must be fixed to 0 but got 2"),
        ([1.0, 2.0], 5.0, "0-th dimension must be 2 but got 0 (not defined).\n"),
        ([1.0] * 6, [[1.0, 2.0, 3.0], [4.0, 5.0, 6.0]], "too many axes: 2 (effrank=2), expected rank=1\n"),
        (
            [1.0, 2.0],
            [[1.0, 2.0, 3.0]],
            VAL_MESSAGE + " -- 0-th dimension must be fixed to 2 but got 3 (real index=1)\n",
        ),
    ],
)
def test_length_and_axis_messages(dbl, tim, val, message):
    with pytest.raises(ValueError) as caught:
        M.set_col_node("N1", "CH", tim, val)
    assert str(caught.value) == message
    assert dbl.ops() == []


@pytest.mark.parametrize(
    "tim, message",
    [
        (np.zeros((0, 3), F32), "unexpected array size: size=3, arr_size=0, rank=1, effrank=1, arr.nd=2, dims=[ 3 ], arr.dims=[ 0 3 ]\n"),
        (np.zeros((2, 0), F32), "unexpected array size: size=2, arr_size=0, rank=1, effrank=1, arr.nd=2, dims=[ 2 ], arr.dims=[ 2 0 ]\n"),
    ],
)
def test_tim_with_an_empty_axis(dbl, tim, message):
    with pytest.raises(ValueError) as caught:
        M.set_col_node("N1", "CH", tim, [1.0] * 3)
    assert str(caught.value) == message
    assert dbl.ops() == []


def test_tim_of_several_axes_is_read_in_column_order(dbl):
    tim = np.arange(6, dtype=F32).reshape(2, 3)  # row-major storage: a copy in column order is needed
    M.set_col_node("N1", "CH", tim, np.zeros(6, F32))
    assert [t for t, _ in sent_points(dbl)] == [0.0, 3.0, 1.0, 4.0, 2.0, 5.0]


def test_empty_tim_with_one_value_passes_with_no_points(dbl):
    assert M.set_col_node("N1", "CH", [], [7.0]) == 1
    assert struct.unpack_from("<i", dbl.calls_of("SetNoeudQor")[0].args[2], 76) == (0,)


def test_two_axes_of_one_row_are_accepted_as_val(dbl):
    M.set_col_node("N1", "CH", [1.0, 2.0, 3.0], [[4.0, 5.0, 6.0]])
    assert [v for _, v in sent_points(dbl)] == [4.0, 5.0, 6.0]


# ---------------------------------------------------------------- objects that do not convert


@pytest.mark.parametrize(
    "tim, val, exc",
    [
        (["a", "b"], [1.0, 2.0], ValueError),
        ([1.0, 2.0], ["a", "b"], ValueError),
        ("abc", [1.0], ValueError),
        ([1.0], {"a": 1}, TypeError),
        (object(), [1.0], TypeError),
        ([1.0, [2.0, 3.0]], [1.0, 2.0], ValueError),
    ],
)
def test_objects_that_do_not_convert(dbl, tim, val, exc):
    with pytest.raises(exc):
        M.set_col_node("N1", "CH", tim, val)
    assert dbl.ops() == []


def test_repeated_failed_conversions_leave_numpy_intact(dbl):
    descr = np.dtype(F32)
    refs = sys.getrefcount(descr)
    for _ in range(3000):
        with pytest.raises(ValueError):
            M.set_col_node("N1", "CH", ["not", "numbers"], [1.0, 2.0])
        with pytest.raises(ValueError):
            M.set_col_node("N1", "CH", [1.0], ["x"])
    assert sys.getrefcount(descr) == refs
    assert M.set_col_node("N1", "CH", [0.5], [1.5]) == 1
    assert sent_points(dbl) == [(0.5, 1.5)]


def test_repeated_failed_conversions_do_not_crash(fresh):
    r = fresh(
        """
import gc
failures = 0
for _ in range(20000):
    for args in ((["a"], [1.0]), ([1.0], ["b"]), (object(), [1.0])):
        try:
            M.set_col_node("N1", "CH", *args)
        except (ValueError, TypeError):
            failures += 1
gc.collect()
a = np.array([1.0, 2.0], np.float32) + np.float32(1)
result = [failures, a.tolist(), M.set_col_node("N1", "CH", a, a)]
"""
    )
    assert r.value == [60000, [2.0, 3.0], 1]
    assert "Reference count error" not in r.err


# ---------------------------------------------------------------- hidden outputs of result_ts


def test_result_ts_zero_gives_two_empty_arrays(dbl):
    vdate, vval = M.result_ts(0)
    for a in (vdate, vval):
        assert a.dtype == np.float64 and a.shape == (0,)
    assert dbl.ops() == []


@pytest.mark.parametrize("nval", [-1, -7])
def test_result_ts_negative_length(dbl, nval):
    with pytest.raises(ValueError) as caught:
        M.result_ts(nval)
    assert str(caught.value) == f"{HIDDEN_MESSAGE}{nval},)"
    assert dbl.ops() == []


@pytest.mark.parametrize("nval, length", [(3, 3), (2.7, 2), ("4", 4), ([1, 9], 1), (True, 1)])
def test_result_ts_arrays_of_the_requested_length(dbl, nval, length):
    M.init(0)
    M.size_ts("ROB", "N1", "P")  # no selection: nothing is read
    vdate, vval = M.result_ts(nval)
    for a in (vdate, vval):
        assert a.dtype == np.float64 and a.ndim == 1 and a.shape == (length,)
        assert a.flags.owndata and a.flags.writeable and a.flags.f_contiguous
        assert a.tolist() == [0.0] * length
    assert vdate.ctypes.data != vval.ctypes.data


def test_result_arrays_belong_to_the_caller(dbl):
    M.init(0)
    M.size_ts("ROB", "N1", "P")
    vdate, vval = M.result_ts(4)
    assert sys.getrefcount(vdate) == sys.getrefcount(vval) == 2
    vdate[:] = 1.0
    assert vval.tolist() == [0.0] * 4
