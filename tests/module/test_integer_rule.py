"""Integer arguments: what reaches the session for each kind of Python object, and how failures read."""

import re

import numpy as np
import pytest

import _pyQorvane as M

DEBUGLEVEL_MESSAGE = "_pyQorvane.init() 1st argument (debuglevel) can't be converted to int"
NVAL_MESSAGE = "_pyQorvane.result_ts() 1st argument (nval) can't be converted to int"
OVERFLOW_MESSAGE = "Python int too large to convert to C int"
INT32_MIN, INT32_MAX = -2**31, 2**31 - 1
SILENT_LEVEL = -1  # what OpenQorvaneAPI receives for a level of 0 or below


class WithInt:
    def __int__(self):
        return 11


class WithIndex:
    def __index__(self):
        return 12


class IntSubclass(int):
    pass


CONVERTIBLE = [
    (3, 3),
    (True, 1),
    (False, 0),
    (-1, -1),
    (IntSubclass(13), 13),
    (INT32_MAX, INT32_MAX),
    (INT32_MIN, INT32_MIN),
    (2.9, 2),
    (-2.9, -2),
    (float(INT32_MAX), INT32_MAX),
    ("3", 3),
    (" 7 ", 7),
    (b"3", 3),
    (3 + 4j, 3),
    (-2.5 + 1j, -2),
    ([4, 5], 4),
    ((7,), 7),
    ([2.9], 2),
    (["8"], 8),
    (np.int64(5), 5),
    (np.float32(2.5), 2),
    (np.array([9, 1]), 9),
    (WithInt(), 11),
    (WithIndex(), 12),
]


def level_received(dbl) -> int:
    (call,) = dbl.calls_of("OpenQorvaneAPI")
    return call.i32(0)


@pytest.mark.parametrize("value, expected", CONVERTIBLE, ids=repr)
def test_init_level_reaches_the_session(dbl, value, expected):
    M.init(value)
    assert int(M.pyvuzizi.debug) == expected
    assert level_received(dbl) == (expected if expected > 0 else SILENT_LEVEL)


@pytest.mark.parametrize("value, expected", [(2.7, 2), ("4", 4), ([3], 3), (0, 0)], ids=repr)
def test_result_ts_count_takes_the_same_rule(value, expected):
    dates, values = M.result_ts(value)
    assert dates.shape == values.shape == (expected,)


INCONVERTIBLE = [
    (None, TypeError, DEBUGLEVEL_MESSAGE),
    (object(), TypeError, DEBUGLEVEL_MESSAGE),
    ({4}, TypeError, DEBUGLEVEL_MESSAGE),  # iterable but not a sequence
    ({0: 4}, TypeError, DEBUGLEVEL_MESSAGE),
    ("abc", ValueError, DEBUGLEVEL_MESSAGE),
    ("3.5", ValueError, DEBUGLEVEL_MESSAGE),  # a str is never retried through its first character
    (b"x", ValueError, DEBUGLEVEL_MESSAGE),
    ("", ValueError, DEBUGLEVEL_MESSAGE),
    ([], IndexError, DEBUGLEVEL_MESSAGE),
    ((), IndexError, DEBUGLEVEL_MESSAGE),
    ([None], TypeError, DEBUGLEVEL_MESSAGE),
    (float("nan"), ValueError, DEBUGLEVEL_MESSAGE),
    (float("inf"), OverflowError, DEBUGLEVEL_MESSAGE),
    (2**31, OverflowError, OVERFLOW_MESSAGE),
    (INT32_MIN - 1, OverflowError, OVERFLOW_MESSAGE),
    (2**64, OverflowError, OVERFLOW_MESSAGE),
    (2.0**31, OverflowError, OVERFLOW_MESSAGE),
    ("2147483648", OverflowError, OVERFLOW_MESSAGE),
    ([2**31], OverflowError, DEBUGLEVEL_MESSAGE),  # the retry's failure carries the argument's message
    (1e20 + 0j, OverflowError, DEBUGLEVEL_MESSAGE),
]


@pytest.mark.parametrize("value, exception, message", INCONVERTIBLE, ids=repr)
def test_init_refuses_without_calling_the_engine(dbl, value, exception, message):
    M.pyvuzizi.debug[()] = 77
    with pytest.raises(exception) as raised:
        M.init(value)
    assert str(raised.value) == message
    assert dbl.ops() == []
    assert int(M.pyvuzizi.debug) == 77


def test_self_containing_sequence_fails_without_crashing(fresh):
    run = fresh("""
        looped = []
        looped.append(looped)
        try:
            M.init(looped)
        except Exception as problem:
            result = [str(problem), dbl.ops()]
    """)
    assert run.value == [DEBUGLEVEL_MESSAGE, []]


@pytest.mark.parametrize("value, exception", [(None, TypeError), ("x", ValueError), ([], IndexError)])
def test_result_ts_count_messages(dbl, value, exception):
    with pytest.raises(exception, match="^" + re.escape(NVAL_MESSAGE) + "$"):
        M.result_ts(value)
    assert dbl.ops() == []
