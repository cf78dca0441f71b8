"""qorvane: network models, boundary conditions, runs, result curves and sweeps over the _pyQorvane module."""
from . import _engine_dir  # noqa: F401  (first: on Windows it puts the engine's folder in the DLL search)
from . import examples, plot
from .errors import (ConditionError, LoadError, ModelClosedError, ModelFileError, QorvaneError, ResultsError,
                     RunError, ScenarioError, StaleResultsError, UnknownElementError, UnknownQuantityError)
from .model import Model, Node, Pipe
from .results import Curve, Results
from .sweep import Scenario, sweep

__all__ = [
    "ConditionError", "Curve", "LoadError", "Model", "ModelClosedError", "ModelFileError", "Node", "Pipe",
    "QorvaneError", "Results", "ResultsError", "RunError", "Scenario", "ScenarioError", "StaleResultsError",
    "UnknownElementError", "UnknownQuantityError", "examples", "plot", "sweep",
]
