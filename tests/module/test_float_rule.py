"""Single-precision float arguments: conversion of each kind of Python object, rounding, and failures."""

import math
import re
import struct

import numpy as np
import pytest

import _pyQorvane as M

HORIZON_MESSAGE = "_pyQorvane.run_simulation() 1st argument (horizon) can't be converted to float"
STOREFACT_MESSAGE = "_pyQorvane.run_simulation() 2nd argument (storefact) can't be converted to float"
HORIZON_OFFSET = 16    # 32-bit float in the calculation-parameter record
STOREFACT_OFFSET = 24  # 32-bit integer in the calculation-parameter record
CALC_PARAM_SIZE = 256
KEPT_HORIZON = 123.5   # what the engine reports before a horizon that is not positive
FLT_MAX = float(np.finfo(np.float32).max)
FLT_TRUE_MIN = 2.0**-149


def single(value: float) -> float:
    return float(np.float32(value))


class WithFloat:
    def __float__(self):
        return 6.5


def engine_parameters(horizon: float, storefact: int) -> bytes:
    record = bytearray(CALC_PARAM_SIZE)
    struct.pack_into("<f", record, HORIZON_OFFSET, horizon)
    struct.pack_into("<i", record, STOREFACT_OFFSET, storefact)
    return bytes(record)


def horizon_sent(dbl) -> float:
    (call,) = dbl.calls_of("SetParamCalcQor")
    return call.f32(0, HORIZON_OFFSET)


CONVERTIBLE = [
    (1.5, 1.5),
    (3, 3.0),
    (True, 1.0),
    ("1.5", 1.5),
    (" 2.25 ", 2.25),
    ("1e2", 100.0),
    (b"2.5", 2.5),
    (2 + 5j, 2.0),
    ([4.5, 9.0], 4.5),
    ((6.25,), 6.25),
    (["0.75"], 0.75),
    (np.float64(7.5), 7.5),
    (np.array([8.5, 1.0]), 8.5),
    (WithFloat(), 6.5),
    (0.1, single(0.1)),
    (1 / 3, single(1 / 3)),
    (1 + 2.0**-24, 1.0),                     # halfway: to the even neighbour below
    (1 + 3 * 2.0**-24, 1 + 2.0**-22),         # halfway: to the even neighbour above
    (FLT_MAX, FLT_MAX),
    (1e40, math.inf),
    ("inf", math.inf),
    (FLT_TRUE_MIN, FLT_TRUE_MIN),
    (2**200, math.inf),
]


@pytest.mark.parametrize("value, expected", CONVERTIBLE, ids=repr)
def test_horizon_reaches_the_engine_as_single_precision(dbl, value, expected):
    M.run_simulation(value, 1)
    assert horizon_sent(dbl) == expected


@pytest.mark.parametrize("value", [-1.0, -1e40, 0.0, "-0.5", float("nan"), 2.0**-151], ids=repr)
def test_horizon_not_positive_after_rounding_keeps_the_engine_value(dbl, value):
    dbl.writes("GetParamCalcQor", 0, engine_parameters(KEPT_HORIZON, 4))
    assert M.run_simulation(value, 1) == 1
    assert horizon_sent(dbl) == KEPT_HORIZON
    assert dbl.ops()[-1] == "RunCalculQor"


@pytest.mark.parametrize("value, expected", [(2.9, 2), ("3", 3), ([5.5], 5), (7 + 1j, 7), (0.5, 0)], ids=repr)
def test_storefact_takes_the_same_rule(dbl, value, expected):
    M.run_simulation(10.0, value)
    (call,) = dbl.calls_of("SetParamCalcQor")
    assert call.i32(0, STOREFACT_OFFSET) == expected


INCONVERTIBLE = [
    (None, TypeError),
    (object(), TypeError),
    ({1.0}, TypeError),
    ("abc", ValueError),
    ("1,5", ValueError),
    (b"", ValueError),
    ([], IndexError),
    ([None], TypeError),
    (10**400, OverflowError),
]


@pytest.mark.parametrize("value, exception", INCONVERTIBLE, ids=repr)
def test_horizon_refused_without_calling_the_engine(dbl, value, exception):
    with pytest.raises(exception, match="^" + re.escape(HORIZON_MESSAGE) + "$"):
        M.run_simulation(value, 1)
    assert dbl.ops() == []


@pytest.mark.parametrize("value, exception", INCONVERTIBLE, ids=repr)
def test_storefact_refused_without_calling_the_engine(dbl, value, exception):
    with pytest.raises(exception, match="^" + re.escape(STOREFACT_MESSAGE) + "$"):
        M.run_simulation(1.0, value)
    assert dbl.ops() == []


def test_horizon_is_converted_before_storefact(dbl):
    with pytest.raises(TypeError, match=re.escape(HORIZON_MESSAGE)):
        M.run_simulation(None, None)


def test_self_containing_sequence_fails_without_crashing(fresh):
    run = fresh("""
        looped = []
        looped.append(looped)
        try:
            M.run_simulation(looped, 1)
        except Exception as problem:
            result = [str(problem), dbl.ops()]
    """)
    assert run.value == [HORIZON_MESSAGE, []]
