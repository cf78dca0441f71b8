"""Exceptions of the package; each one pickles with its type and message, so it crosses processes."""
from __future__ import annotations

from typing import Any

# The engine's result codes and their documented meanings (32 only in a run's message, never a load's).
LOAD_ERROR_MEANINGS: dict[int, str] = {
    1: "engine not opened and initialised",
    2: "model path is empty or invalid",
    3: "cannot open model file",
    4: "error while reading model file",
    5: "not enough memory",
    6: "internal error",
    10: "syntax error",
    11: "unknown section",
    12: "missing value",
    13: "invalid value",
    14: "invalid keyword",
    15: "identifier too long",
    16: "duplicate identifier",
    17: "undefined node",
    18: "undefined link",
    19: "undefined curve",
    20: "undefined pattern",
    21: "link connects a node to itself",
    22: "invalid curve",
    23: "valve connection not allowed",
    24: "network has no reservoir or tank",
    25: "node not connected to any reservoir or tank",
    30: "linear system of the steady state could not be solved",
    31: "steady state did not converge",
    32: "transient run failed numerically",
}


def load_error_meaning(code: int) -> str:
    return LOAD_ERROR_MEANINGS.get(code, "code not documented by the engine")


class QorvaneError(Exception):
    """Base of the package's exceptions."""

    def __reduce__(self) -> tuple[Any, ...]:
        return (type(self), self.args)


class LoadError(QorvaneError):
    """The engine refused the model file: `code` is its loading result, `message` says why."""

    def __init__(self, code: int, message: str) -> None:
        super().__init__(code, message)
        self.code = code
        self.message = message
        self.meaning = load_error_meaning(code)

    def __str__(self) -> str:
        return self.message


class ModelFileError(QorvaneError):
    """The package's reading of the model file disagrees with the engine, or the file cannot be read."""


class ModelClosedError(QorvaneError):
    """The model was closed, or the engine has loaded another model since."""


class UnknownElementError(QorvaneError, LookupError):
    """No element of that kind has that identifier."""

    def __str__(self) -> str:
        return str(self.args[0])


class UnknownQuantityError(QorvaneError, KeyError):
    """No quantity of the package has that word; the message lists the words there are."""

    def __str__(self) -> str:
        return str(self.args[0])


class ConditionError(QorvaneError, ValueError):
    """A boundary-condition series was refused, before or by the engine."""


class RunError(QorvaneError):
    """The run failed; `status` is the engine's, the message the engine's own where it gave one."""

    def __init__(self, status: int, message: str) -> None:
        super().__init__(status, message)
        self.status = status
        self.message = message

    def __str__(self) -> str:
        return self.message


class ResultsError(QorvaneError, LookupError):
    """A result curve cannot be read: unknown quantity, no curve, or results no longer held."""

    def __str__(self) -> str:
        return str(self.args[0])


class StaleResultsError(ResultsError):
    """The engine no longer holds these results: a later run, load or close replaced them."""


class ScenarioError(QorvaneError):
    """A scenario of a sweep raised an exception that cannot cross processes; its type and message are kept."""
