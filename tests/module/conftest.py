"""Fixtures of the module tests: the engine double, reset before each test, and fresh interpreters."""

import pytest

import support

try:
    _DOUBLE = support.Double()
except (ImportError, support.DoubleNotLoaded) as problem:
    pytest.exit(f"module tests need _pyQorvane running over the test double: {problem}",
                returncode=pytest.ExitCode.USAGE_ERROR)


@pytest.fixture
def dbl() -> support.Double:
    _DOUBLE.reset()
    return _DOUBLE


@pytest.fixture
def fresh():
    return support.fresh
