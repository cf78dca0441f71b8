"""run_simulation: order of engine calls, the parameter record handed back, statuses and diagnostics."""
import math
import struct

import numpy as np
import pytest

import _pyQorvane as M

PARAM_RECORD = 256
RUN_OPS = ["InitCalculQor", "GetParamCalcQor", "SetParamCalcQor", "RunCalculQor"]
INT32_MAX = 2**31 - 1
# Every byte distinct from its neighbours and non-zero, so a shifted or cleared byte shows.
PATTERN = bytes((i * 37 + 11) % 253 + 1 for i in range(PARAM_RECORD))


def at_debug(dbl, level):
    M.init(level)
    dbl.reset()


def out_lines(capsys):
    return capsys.readouterr().out.splitlines(keepends=True)


def handed_back(dbl) -> bytes:
    rec = dbl.calls_of("SetParamCalcQor")[-1].args[0]
    assert len(rec) == PARAM_RECORD
    return rec


def f32_bytes(x) -> bytes:
    return np.float32(x).tobytes()


def test_run_calls_the_four_operations_in_order(dbl):
    assert M.run_simulation(10.0, 1.0) == 1
    assert dbl.ops() == RUN_OPS
    assert dbl.calls_of("InitCalculQor")[0].args[0] == struct.pack("<i", 0)


@pytest.mark.parametrize(
    "horizon, storefact, horizon_bytes, storefact_bytes",
    [
        (600.0, 2.9, f32_bytes(600.0), struct.pack("<i", 2)),
        (0.1, 0.5, f32_bytes(0.1), struct.pack("<i", 0)),
        (1e40, 7.0, f32_bytes(math.inf), struct.pack("<i", 7)),
        (1e-45, 1e9, f32_bytes(1e-45), struct.pack("<i", 1000000000)),
        (0.0, 0.0, None, None),
        (-5.0, -3.0, None, None),
        (-0.0, -0.0, None, None),
        (math.nan, math.nan, None, None),
        (-math.inf, -math.inf, None, None),
        (1e-50, 3.0, None, struct.pack("<i", 3)),  # rounds to 0.0: not above zero
        (5.0, 2147483520.0, f32_bytes(5.0), struct.pack("<i", 2147483520)),
        (5.0, 2147483647.0, f32_bytes(5.0), struct.pack("<i", INT32_MAX)),
        (5.0, 2147483648.0, f32_bytes(5.0), struct.pack("<i", INT32_MAX)),
        (5.0, 1e30, f32_bytes(5.0), struct.pack("<i", INT32_MAX)),
        (5.0, math.inf, f32_bytes(5.0), struct.pack("<i", INT32_MAX)),
        ("1.5", "2", f32_bytes(1.5), struct.pack("<i", 2)),
    ],
)
def test_parameter_record_changes_only_horizon_and_storage_factor(
    dbl, horizon, storefact, horizon_bytes, storefact_bytes
):
    dbl.writes("GetParamCalcQor", 0, PATTERN)
    M.run_simulation(horizon, storefact)
    expected = bytearray(PATTERN)
    if horizon_bytes is not None:
        expected[16:20] = horizon_bytes
    if storefact_bytes is not None:
        expected[24:28] = storefact_bytes
    assert handed_back(dbl) == bytes(expected)


def test_record_keeps_earlier_values_when_the_engine_writes_nothing(dbl):
    dbl.writes("GetParamCalcQor", 0, PATTERN)
    M.run_simulation(42.0, 3.0)
    first = handed_back(dbl)
    dbl.silent("GetParamCalcQor", 0)
    M.run_simulation(0.0, 0.0)
    assert handed_back(dbl) == first
    M.run_simulation(8.0, 0.0)
    assert handed_back(dbl) == first[:16] + f32_bytes(8.0) + first[20:]


def test_record_starts_as_zero_bytes(fresh):
    r = fresh(
        """
M.run_simulation(0, 0)
result = dbl.calls_of("SetParamCalcQor")[0].args[0].hex()
"""
    )
    assert bytes.fromhex(r.value) == bytes(PARAM_RECORD)


def test_same_record_goes_out_and_comes_back(dbl):
    M.run_simulation(1.0, 1.0)
    got = dbl.calls_of("GetParamCalcQor")[0]
    put = dbl.calls_of("SetParamCalcQor")[0]
    assert got.addrs[0] == put.addrs[0]


# Statuses returned by (InitCalculQor, GetParamCalcQor, SetParamCalcQor, RunCalculQor),
# the status the caller sees, the error lines at debug > 0 and whether the run took place.
STATUS_CASES = [
    ((1, 1, 1, 1), 1, [], True),
    ((1, 1, 1, 7), 7, [], True),
    ((1, 1, 1, 0), 0, [" * Error running simulation"], True),
    ((1, 1, 1, -2), -2, [" * Error running simulation"], True),
    ((0, 1, 1, 5), 5, [" * Error initialising simulation"], True),
    ((1, 2, 1, 3), 3, [" * Error getting parameters"], True),
    ((4, -4, 1, 1), 1, [" * Error initialising simulation", " * Error getting parameters"], True),
    ((1, 1, 0, 1), 0, [" * Error setting parameters"], False),
    ((1, 1, 8, 1), 8, [" * Error setting parameters"], False),
    ((0, 0, 0, 1), 0, [" * Error initialising simulation", " * Error getting parameters", " * Error setting parameters"], False),
    ((0, 0, 1, 0), 0, [" * Error initialising simulation", " * Error getting parameters", " * Error running simulation"], True),
    ((-1, 3, 9, 11), 11, [], True),
]


@pytest.mark.parametrize("debug", [0, 1, 2])
@pytest.mark.parametrize("statuses, fstat, errors, ran", STATUS_CASES)
def test_statuses_and_error_lines(dbl, capsys, debug, statuses, fstat, errors, ran):
    at_debug(dbl, debug)
    capsys.readouterr()
    for op, status in zip(RUN_OPS, statuses):
        dbl.returns(op, status)
    assert M.run_simulation(100.0, 1.0) == fstat
    assert dbl.ops() == (RUN_OPS if ran else RUN_OPS[:3])
    assert out_lines(capsys) == ([] if debug == 0 else [" " + e + "\n" for e in errors])


def test_run_does_not_need_an_open_engine(dbl):
    M.quit()
    dbl.reset()
    assert M.run_simulation(1.0, 1.0) == 1
    assert dbl.ops() == RUN_OPS


@pytest.mark.parametrize(
    "args, exc",
    [((None, 1.0), TypeError), ((1.0, "abc"), ValueError), (([], 1.0), IndexError), ((1.0, object()), TypeError)],
)
def test_failed_conversion_calls_nothing(dbl, args, exc):
    with pytest.raises(exc):
        M.run_simulation(*args)
    assert dbl.ops() == []
