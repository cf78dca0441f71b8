"""The call frame: argument parsing, keywords, conversion order and the shape of each result."""

import re

import numpy as np
import pytest

import _pyQorvane as M

TIM = np.array([0.0, 1.0], dtype=np.float32)
VAL = np.array([5.0, 6.0], dtype=np.float32)
BAD_TEXT = np.arange(8, dtype=np.uint8)[::2]  # not contiguous: refused by the text rule

BAD_CALLS = [
    ("init", (), {}),
    ("init", (1, 2), {}),
    ("init", (), {"level": 1}),
    ("init", (1,), {"debuglevel": 1}),
    ("quit", (1,), {}),
    ("quit", (), {"now": True}),
    ("loadmodel", (), {}),
    ("loadmodel", ("a.qor", "b.qor"), {}),
    ("loadmodel", (), {"path": "a.qor"}),
    ("get_unit_info", (), {}),
    ("get_unit_info", ("P", "Q"), {}),
    ("get_unit_info", (), {"attr": "P"}),
    ("get_node", (), {}),
    ("get_node", ("N1", 2), {}),
    ("get_node", (), {"id": "N1"}),
    ("set_col_node", ("N1", "CH", TIM), {}),
    ("set_col_node", ("N1", "CH", TIM, VAL, 2, 3), {}),
    ("set_col_node", ("N1", "CH", TIM, VAL), {"count": 2}),
    ("set_col_node", ("N1", "CH", TIM, VAL, 2), {"nbp": 2}),
    ("run_simulation", (1.0,), {}),
    ("run_simulation", (1.0, 2.0, 3.0), {}),
    ("run_simulation", (1.0,), {"store": 2.0}),
    ("size_ts", ("NODE", "N1"), {}),
    ("size_ts", ("NODE", "N1", "P", "Q"), {}),
    ("size_ts", ("NODE", "N1"), {"attr": "P"}),
    ("result_ts", (), {}),
    ("result_ts", (1, 2), {}),
    ("result_ts", (), {"n": 1}),
]


@pytest.mark.parametrize("name, args, kwargs", BAD_CALLS, ids=lambda item: repr(item)[:40])
def test_parsing_failure_names_the_function_and_calls_nothing(dbl, name, args, kwargs):
    with pytest.raises(TypeError) as raised:
        getattr(M, name)(*args, **kwargs)
    assert f"_pyQorvane.{name}()" in str(raised.value)
    assert dbl.ops() == []


# Each function called by keyword (or by position and keyword) from the same state as a call by position
# only must do the same thing.
KEYWORD_FORMS = [
    ("init", (2,), (), {"debuglevel": 2}),
    ("loadmodel", ("net.qor",), (), {"modelname": "net.qor"}),
    ("get_unit_info", ("CH",), (), {"sattr": "CH"}),
    ("get_node", ("N1",), (), {"eid": "N1"}),
    ("set_col_node", ("N1", "CS", TIM, VAL), (), {"val": VAL, "tim": TIM, "mode": "CS", "eid": "N1"}),
    ("set_col_node", ("N1", "CS", TIM, VAL, 2), ("N1", "CS"), {"tim": TIM, "val": VAL, "nbp": 2}),
    ("set_col_node", ("N1", "CS", TIM, VAL), ("N1", "CS", TIM, VAL), {"nbp": None}),
    ("run_simulation", (10.0, 2.0), (), {"storefact": 2.0, "horizon": 10.0}),
    ("size_ts", ("NODE", "N1", "P"), (), {"attribut": "P", "eid": "N1", "typelt": "NODE"}),
    ("size_ts", ("NODE", "N1", "P"), ("NODE",), {"attribut": "P", "eid": "N1"}),
    ("result_ts", (3,), (), {"nval": 3}),
]


def comparable(value):
    if isinstance(value, np.ndarray):
        return (value.dtype.str, value.tolist())
    if isinstance(value, tuple):
        return tuple(comparable(item) for item in value)
    return value


def run_from_open_engine(dbl, function, args, kwargs):
    M.init(0)
    dbl.reset()
    dbl.writes("GetNbPtUneCourbe", 1, (3).to_bytes(4, "little"))
    result = function(*args, **kwargs)
    return comparable(result), [(call.op, call.args) for call in dbl.calls()]


@pytest.mark.parametrize("name, reference, args, kwargs", KEYWORD_FORMS, ids=lambda item: repr(item)[:40])
def test_keywords_do_what_positions_do(dbl, name, reference, args, kwargs):
    function = getattr(M, name)
    run_from_open_engine(dbl, function, reference, {})  # both calls below then start from the same state
    by_keyword = run_from_open_engine(dbl, function, args, kwargs)
    assert by_keyword == run_from_open_engine(dbl, function, reference, {})


CONVERSION_ORDER = [
    (lambda: M.set_col_node(BAD_TEXT, BAD_TEXT, None, None), "argument`eid' of _pyQorvane.set_col_node"),
    (lambda: M.set_col_node("N1", BAD_TEXT, None, None), "argument`mode' of _pyQorvane.set_col_node"),
    (lambda: M.size_ts(BAD_TEXT, BAD_TEXT, BAD_TEXT), "argument`typelt' of _pyQorvane.size_ts"),
    (lambda: M.size_ts("NODE", BAD_TEXT, BAD_TEXT), "argument`eid' of _pyQorvane.size_ts"),
    (lambda: M.run_simulation(None, None), "(horizon) can't be converted"),
    (lambda: M.result_ts(None), "(nval) can't be converted"),
]


@pytest.mark.parametrize("call, fragment", CONVERSION_ORDER)
def test_first_failing_conversion_is_reported(dbl, call, fragment):
    with pytest.raises(Exception, match=re.escape(fragment)):
        call()
    assert dbl.ops() == []


def is_float64_vector(value):
    return isinstance(value, np.ndarray) and value.dtype == np.float64 and value.ndim == 1


RESULT_SHAPES = [
    (lambda: M.init(0), lambda r: type(r) is bytes),
    (lambda: M.quit(), lambda r: r is None),
    (lambda: M.loadmodel("net.qor"), lambda r: type(r) is int),
    (lambda: M.get_unit_info("P"),
     lambda r: type(r) is tuple and [type(x) for x in r] == [float, bytes, bytes]),
    (lambda: M.get_node("N1"),
     lambda r: type(r) is tuple and [type(x) for x in r] == [int, float, float, float]),
    (lambda: M.set_col_node("N1", "CH", TIM, VAL), lambda r: type(r) is int),
    (lambda: M.run_simulation(1.0, 1.0), lambda r: type(r) is int),
    (lambda: M.size_ts("NODE", "N1", "P"), lambda r: type(r) is int),
    (lambda: M.result_ts(2),
     lambda r: type(r) is tuple and len(r) == 2 and all(is_float64_vector(x) and x.shape == (2,) for x in r)),
]


@pytest.mark.parametrize("call, shaped", RESULT_SHAPES,
                         ids=["init", "quit", "loadmodel", "get_unit_info", "get_node", "set_col_node",
                              "run_simulation", "size_ts", "result_ts"])
def test_result_shape(dbl, call, shaped):
    assert shaped(call())


def test_result_arrays_are_new_and_owned_by_the_caller(dbl):
    first, second = M.result_ts(3)
    again = M.result_ts(3)
    assert first is not second and not np.shares_memory(first, second)
    assert not np.shares_memory(first, again[0])
    assert first.flags.owndata and first.flags.writeable
