"""Arbitrary arguments to the nine functions: a result of the documented shape or an expected exception, never worse."""

from __future__ import annotations

import dataclasses
import os
import warnings
from typing import Callable

import numpy as np
import pytest
from hypothesis import HealthCheck, assume, given, settings
from hypothesis import strategies as st

import _pyQorvane as M
from arbitrary_objects import EXPECTED_ERRORS, INT32_MAX, INT32_MIN, float_sequences, python_objects

EXAMPLES_ENV = "QORVANE_HYPOTHESIS_EXAMPLES"
DEFAULT_EXAMPLES = 200
settings.register_profile(
    "qorvane",
    max_examples=int(os.environ.get(EXAMPLES_ENV, DEFAULT_EXAMPLES)),
    derandomize=True,
    database=None,
    deadline=None,
    print_blob=True,
    suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large, HealthCheck.filter_too_much],
)
PROFILE = settings.get_profile("qorvane")

MODULE_ERROR = getattr(M, "__pyQorvane_error")
ALLOWED_ERRORS = EXPECTED_ERRORS + (MODULE_ERROR,)
# The longest result series asked for: longer ones only cost memory, the conversion is the same.
MAX_SERIES = 4096
VERSION_LEN, UNIT_NAME_LEN = 4, 6


def text_result(value, width: int) -> None:
    assert type(value) is bytes
    assert len(value) <= width
    assert not value.endswith(b" ") and b"\x00" not in value


def check_init(result):
    text_result(result, VERSION_LEN)


def check_quit(result):
    assert result is None


def check_int(result):
    assert type(result) is int and INT32_MIN <= result <= INT32_MAX


def check_unit_info(result):
    assert type(result) is tuple and len(result) == 3
    coef, ncur, nref = result
    assert type(coef) is float
    text_result(ncur, UNIT_NAME_LEN)
    text_result(nref, UNIT_NAME_LEN)


def check_node(result):
    assert type(result) is tuple and len(result) == 4
    check_int(result[0])
    assert all(type(value) is float for value in result[1:])


def check_series(result):
    assert type(result) is tuple and len(result) == 2
    for array in result:
        assert type(array) is np.ndarray and array.dtype == np.float64 and array.ndim == 1
        assert array.flags.c_contiguous and array.flags.owndata and array.flags.writeable
    assert result[0].shape == result[1].shape


@dataclasses.dataclass(frozen=True)
class Function:
    name: str
    parameters: tuple[str, ...]
    required: int
    check: Callable


FUNCTIONS = {f.name: f for f in (
    Function("init", ("debuglevel",), 1, check_init),
    Function("quit", (), 0, check_quit),
    Function("loadmodel", ("modelname",), 1, check_int),
    Function("get_unit_info", ("sattr",), 1, check_unit_info),
    Function("get_node", ("eid",), 1, check_node),
    Function("set_col_node", ("eid", "mode", "tim", "val", "nbp"), 4, check_int),
    Function("run_simulation", ("horizon", "storefact"), 2, check_int),
    Function("size_ts", ("typelt", "eid", "attribut"), 3, check_int),
    Function("result_ts", ("nval",), 1, check_series),
)}

# Parameters that take a series get series-like objects half of the time, to get past their conversion.
SERIES_PARAMETERS = {"tim", "val"}
# Made once: a strategy is checked again each time it is made.
OBJECTS = python_objects()
SERIES_OBJECTS = st.one_of(float_sequences(), OBJECTS)
COUNT_OBJECTS = st.one_of(st.none(), st.integers(-2, 10), OBJECTS)


def integer_rule(obj):
    """What the integer conversion makes of `obj`: its value, or the exception it raises."""
    if isinstance(obj, int):
        value = int(obj)
    else:
        try:
            value = int(obj)
        except RecursionError:
            raise
        except Exception:
            if isinstance(obj, complex):
                return integer_rule(obj.real)
            if isinstance(obj, (str, bytes)) or isinstance(obj, dict) or not hasattr(type(obj), "__getitem__"):
                raise
            return integer_rule(obj[0])
    if not INT32_MIN <= value <= INT32_MAX:
        raise OverflowError("Python int too large to convert to C int")
    return value


def expected_integer(obj):
    """The integer rule's value, or None where it fails."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return integer_rule(obj)
        except RecursionError:
            return None
        except Exception:
            return None


@st.composite
def arguments(draw, function: Function):
    values = {}
    for name in function.parameters:
        if name in SERIES_PARAMETERS:
            values[name] = draw(SERIES_OBJECTS)
        elif name == "nbp":
            values[name] = draw(COUNT_OBJECTS)
        else:
            values[name] = draw(OBJECTS)
    if function.name == "set_col_node" and draw(st.booleans()):
        del values["nbp"]  # absent rather than None
    return values


@st.composite
def call_shapes(draw, function: Function):
    """Positional and keyword arguments of a call, and whether the call's shape is one the function accepts."""
    values = draw(arguments(function))
    names = [name for name in function.parameters if name in values]
    split = draw(st.integers(0, len(names)))
    args = [values[name] for name in names[:split]]
    kwargs = {name: values[name] for name in names[split:]}
    shape = draw(st.sampled_from(("exact",) * 6 + ("missing", "surplus", "unknown", "twice")))
    if shape == "missing" and function.required:
        victim = function.parameters[draw(st.integers(0, function.required - 1))]
        if victim in kwargs:
            del kwargs[victim]
        else:
            args = args[:function.parameters.index(victim)]
            kwargs = {k: v for k, v in kwargs.items() if function.parameters.index(k) < function.required}
            kwargs.pop(victim, None)
    elif shape == "surplus":
        args = [values[name] for name in names] + [0] * (len(function.parameters) - len(names)) + [draw(OBJECTS)]
        kwargs = {}
    elif shape == "unknown":
        kwargs["not_a_parameter"] = draw(OBJECTS)
    elif shape == "twice" and args:
        kwargs[function.parameters[0]] = args[0]
    else:
        shape = "exact" if shape != "missing" else shape
    valid = shape == "exact" or (shape == "missing" and not function.required) or (shape == "twice" and not args)
    return args, kwargs, valid


def arrays_in(obj, depth=0):
    """The numpy arrays an argument holds, at its top or inside lists and tuples."""
    if isinstance(obj, np.ndarray):
        yield obj
    elif isinstance(obj, (list, tuple)) and depth < 4:
        for item in obj:
            if item is not obj:
                yield from arrays_in(item, depth + 1)


def snapshot(values):
    return [(array, array.copy(), array.flags.writeable) for value in values for array in arrays_in(value)]


def assert_unchanged(before):
    for array, copy, writeable in before:
        assert array.flags.writeable == writeable
        assert array.dtype == copy.dtype and array.shape == copy.shape
        assert array.tobytes() == copy.tobytes(), "an input array was written"


def guard_memory(function: Function, args, kwargs):
    """Skips examples that ask for series too long to be worth their memory."""
    if function.name == "result_ts":
        nval = args[0] if args else kwargs.get("nval")
        value = expected_integer(nval)
        assume(value is None or value <= MAX_SERIES)


def call(function: Function, args, kwargs):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        return getattr(M, function.name)(*args, **kwargs)


@pytest.fixture
def quiet():
    """No diagnostic lines: a random debug level is reset after each call."""
    yield
    M.pyvuzizi.debug = 0


@pytest.mark.parametrize("name", list(FUNCTIONS))
def test_arbitrary_arguments_give_a_documented_result_or_error(name, dbl, quiet):
    function = FUNCTIONS[name]

    @PROFILE
    @given(shape=call_shapes(function))
    def property_holds(shape):
        args, kwargs, valid = shape
        guard_memory(function, args, kwargs)
        dbl.reset()
        before = snapshot(list(args) + list(kwargs.values()))
        try:
            result = call(function, args, kwargs)
        except ALLOWED_ERRORS as error:
            assert valid or isinstance(error, TypeError)
            if not valid:
                assert dbl.ops() == [], "a call refused at parsing reached the engine"
        else:
            assert valid, "a call of the wrong shape was accepted"
            function.check(result)
        finally:
            M.pyvuzizi.debug = 0
        assert_unchanged(before)

    property_holds()


@pytest.mark.parametrize("name, parameter", [("init", "debuglevel"), ("result_ts", "nval")])
def test_integer_arguments_follow_the_integer_rule(name, parameter, dbl, quiet):
    """The whole road through the frame agrees with the rule on which objects convert and to what."""

    @PROFILE
    @given(obj=OBJECTS)
    def property_holds(obj):
        expected = expected_integer(obj)
        assume(expected is None or name != "result_ts" or expected <= MAX_SERIES)
        try:
            result = call(FUNCTIONS[name], (), {parameter: obj})
        except ALLOWED_ERRORS:
            assert expected is None or (name == "result_ts" and expected < 0)
            return
        assert expected is not None
        if name == "init":
            assert int(M.pyvuzizi.debug) == expected
        else:
            assert len(result[0]) == expected

    property_holds()


def float_rule(obj):
    """What the float conversion makes of `obj`: its value, or the exception it raises."""
    if isinstance(obj, float):
        return float(obj)
    try:
        return float(obj)
    except RecursionError:
        raise
    except Exception:
        if isinstance(obj, complex):
            return float_rule(obj.real)
        if isinstance(obj, (str, bytes)) or isinstance(obj, dict) or not hasattr(type(obj), "__getitem__"):
            raise
        return float_rule(obj[0])


def expected_float(obj):
    """The float rule's value, or None where it fails."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        try:
            return float_rule(obj)
        except Exception:
            return None


HORIZON_OFFSET = 16  # of the calculation-parameter record


def recorded_horizon(entry) -> np.float32:
    return np.frombuffer(entry.args[0], dtype="<f4", count=1, offset=HORIZON_OFFSET)[0]


def test_float_arguments_reach_the_engine_rounded_to_32_bits(dbl, quiet):
    """A horizon that converts reaches the engine as float(obj) rounded to 32 bits; one not above zero leaves it."""

    @PROFILE
    @given(horizon=OBJECTS, storefact=OBJECTS)
    def property_holds(horizon, storefact):
        dbl.reset()
        expected = expected_float(horizon)
        try:
            status = call(FUNCTIONS["run_simulation"], (horizon, storefact), {})
        except ALLOWED_ERRORS:
            assert expected is None or expected_float(storefact) is None
            assert dbl.ops() == []
            return
        check_int(status)
        assert expected is not None and expected_float(storefact) is not None
        before = recorded_horizon(dbl.calls_of("GetParamCalcQor")[-1])
        after = recorded_horizon(dbl.calls_of("SetParamCalcQor")[-1])
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            rounded = np.float32(expected)
        if rounded > 0:
            assert after == rounded
        else:
            assert after.tobytes() == before.tobytes()

    property_holds()
