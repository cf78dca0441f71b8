"""A network model loaded in the engine: its elements, its nodes, boundary conditions and runs."""
from __future__ import annotations

import math
import os
import sys
from dataclasses import dataclass
from pathlib import Path
from types import TracebackType
from typing import TYPE_CHECKING

import numpy as np
import numpy.typing as npt

import _pyQorvane as raw

from . import engine
from .conditions import checked_series
from .errors import (ConditionError, LoadError, ModelClosedError, ModelFileError, RunError, UnknownElementError,
                     UnknownQuantityError, load_error_meaning)
from .inp_reader import ModelElements, read_elements
from .quantities import ELEMENT_UNIT_CODES, NODE_KINDS, RATIO_UNIT, UNIT_CODE_OF_WORD
from .results import Results

if TYPE_CHECKING:
    import pandas

# The longest model path the raw module hands the engine whole.
MAX_PATH_LENGTH = 261
LOADED = 0  # the engine's loading result for a loaded model
# Boundary-condition modes of set_col_node.
HEAD_MODE, DEMAND_MODE, PRESSURE_MODE = "CH", "CS", "P"
NODE_QUANTITIES = ("elevation", "demand", "head", "pressure")
PIPE_QUANTITIES = ("length", "diameter", "roughness", "wave_speed")
DEFAULT_WAVE_SPEED = 1000.0  # m/s, the engine's wave speed of a pipe [WAVESPEEDS] does not set
METRES_PER_FOOT = 0.3048
# Length units per metre by the engine's unit name (exact factors; the engine's own are 32-bit floats).
LENGTH_UNITS_PER_METRE = {"m": 1.0, "ft": 1.0 / METRES_PER_FOOT}
MAX_STORE_EVERY = 2**31 - 1
ZERO_BYTE = b"\0"  # ends a text argument of the raw module


def succeeded(status: int) -> bool:
    return bool(status & 1)


@dataclass(frozen=True)
class Node:
    """A node of the loaded model at the steady state, values in the model's units (named in `units`).

    elevation: elevation unit (ft or m); for a reservoir, its head. demand: flow unit; for a reservoir or
    tank, the net flow it takes from the network. head: head unit (ft or m). pressure: pressure unit, the
    one of the pressure curves (psi on US-unit models, m or the PRESSURE option on SI ones): head minus
    elevation converted. coordinates: (x, y) of [COORDINATES] in the drawing's units, None without.
    """

    id: str
    kind: str  # "junction", "reservoir" or "tank"
    index: int
    elevation: float
    demand: float
    head: float
    units: dict[str, str]  # unit of "elevation", "demand", "head" and "pressure"
    pressure: float
    coordinates: tuple[float, float] | None


@dataclass(frozen=True)
class Pipe:
    """A pipe as the model file gives it, in the model's units (named in `units`).

    length: length unit (ft or m). diameter: diameter unit (in or mm). roughness: Hazen-Williams C or
    Chezy-Manning n (no unit), Darcy-Weisbach roughness in millifeet or mm. wave_speed: length unit per
    second, from [WAVESPEEDS] (its pipe line, else its DEFAULT line, else the engine's 1000 m/s); the run
    may adjust it by a little so that the pipe holds a whole number of reaches.
    """

    id: str
    start: str
    end: str
    length: float
    diameter: float
    roughness: float
    wave_speed: float
    units: dict[str, str]  # unit of "length", "diameter", "roughness" and "wave_speed"


class Model:
    """A network model file loaded in the engine (one at a time per process; a new Model closes the last).

    Use it as a context manager, or call close(), to close the engine when done.
    """

    def __init__(self, path: str | os.PathLike[str]) -> None:
        self.path = Path(path)
        encoded = os.fsencode(self.path)
        if not encoded or len(encoded) > MAX_PATH_LENGTH or encoded != encoded.rstrip(b" "):
            raise LoadError(2, f"loading {self.path} failed with code 2: model path is empty or invalid "
                               f"(at most {MAX_PATH_LENGTH} bytes, no trailing blanks)")
        with engine.lock:
            engine.state.model_token = engine.state.results_token = 0
            self.engine_version = engine.open_engine()
            with engine.engine_messages() as messages:
                code = raw.loadmodel(encoded)
            if code != LOADED:
                detail = f"\n{messages.text}" if messages.text else ""
                raise LoadError(code, f"loading {self.path} failed with code {code}: "
                                      f"{LoadError(code, '').meaning}{detail}")
            _pass_on(messages.text)
            try:
                self._elements = read_elements(self.path)
            except OSError as error:
                raise ModelFileError(f"{self.path}: the engine loaded it but it cannot be read: {error}") from None
            self._units: dict[str, str] = {}
            self._unit_factors: dict[str, float] = {}  # value in the model's unit per SI value
            for unit_code in sorted(set(ELEMENT_UNIT_CODES.values())):
                factor, name, _ = raw.get_unit_info(unit_code)
                self._units[unit_code] = name.decode("ascii", "replace")
                self._unit_factors[unit_code] = float(factor)
            self._node_kind = {node: kind for kind in NODE_KINDS for node in self._elements.ids[kind]}
            self._check_nodes()
            self._token = engine.state.model_token = engine.state.next_token()

    def _check_nodes(self) -> None:
        """Every node read from the file must be one of the engine's, each with its own index."""
        seen: dict[int, str] = {}
        for node, kind in self._node_kind.items():
            if _beyond_the_module(engine.encode_id(node)):
                continue  # node() and the conditions refuse it
            index = raw.get_node(engine.encode_id(node))[0]
            line = self._elements.lines[(kind, node)]
            if index < 0 or index in seen:
                problem = "is unknown to the engine" if index < 0 else f"has the engine index of {seen.get(index)!r}"
                raise ModelFileError(f"{self.path}:{line}: {kind} {node!r} read from the file {problem}")
            seen[index] = node

    # Element lists, in file order.
    def _ids(self, *kinds: str) -> tuple[str, ...]:
        return tuple(i for kind in kinds for i in self._elements.ids[kind])

    @property
    def nodes(self) -> tuple[str, ...]:
        return self._ids(*NODE_KINDS)

    @property
    def junctions(self) -> tuple[str, ...]:
        return self._ids("junction")

    @property
    def reservoirs(self) -> tuple[str, ...]:
        return self._ids("reservoir")

    @property
    def tanks(self) -> tuple[str, ...]:
        return self._ids("tank")

    @property
    def links(self) -> tuple[str, ...]:
        return self._ids("pipe", "pump", "valve")

    @property
    def pipes(self) -> tuple[str, ...]:
        return self._ids("pipe")

    @property
    def pumps(self) -> tuple[str, ...]:
        return self._ids("pump")

    @property
    def valves(self) -> tuple[str, ...]:
        return self._ids("valve")

    @property
    def surge_tanks(self) -> tuple[str, ...]:
        return self._ids("surge_tank")

    @property
    def air_vessels(self) -> tuple[str, ...]:
        return self._ids("air_vessel")

    @property
    def relief_valves(self) -> tuple[str, ...]:
        return self._ids("relief_valve")

    @property
    def elements(self) -> ModelElements:
        return self._elements

    def unit(self, quantity: str) -> str:
        """The model's unit of a quantity word of the package ("pressure", "flow", "length", "wave_speed",
        a curve's quantity such as "head_gain"; see qorvane.quantities.UNIT_CODE_OF_WORD), or of one of the
        raw module's unit codes ("P", "Q", ...); "-" for a ratio."""
        if quantity in UNIT_CODE_OF_WORD:
            code = UNIT_CODE_OF_WORD[quantity]
            return RATIO_UNIT if code is None else self._units[code]
        if quantity in self._units:
            return self._units[quantity]
        words = ", ".join(sorted(UNIT_CODE_OF_WORD))
        raise UnknownQuantityError(f"no quantity {quantity!r}; the quantities are {words} (or a unit code: "
                                   f"{', '.join(self._units)})")

    @property
    def closed(self) -> bool:
        return engine.state.model_token != self._token or not engine.is_open()

    def check_open(self) -> None:
        if self.closed:
            raise ModelClosedError(f"the model {self.path} is closed: the engine was closed or has loaded "
                                   "another model since")

    def _node_id(self, node: str) -> bytes:
        self.check_open()
        if node not in self._node_kind:
            raise UnknownElementError(f"{self.path} has no node {node!r}")
        encoded = engine.encode_id(node)
        reason = _beyond_the_module(encoded)
        if reason:
            raise UnknownElementError(f"node {node!r} {reason}")
        return encoded

    def node(self, node: str) -> Node:
        """The node's index, elevation, demand, head and pressure at the steady state, and its coordinates
        (units: see Node)."""
        with engine.lock:
            encoded = self._node_id(node)
            index, elevation, demand, head = raw.get_node(encoded)
        if index < 0:
            raise ModelClosedError(f"the engine no longer knows node {node!r} of {self.path}")
        # The pressure curves' unit: head and pressure factors are both per metre of fluid head.
        head_factor, pressure_factor = (self._unit_factors[ELEMENT_UNIT_CODES[q]] for q in ("head", "pressure"))
        pressure = (head - elevation) * pressure_factor / head_factor
        return Node(node, self._node_kind[node], index, elevation, demand, head, self._units_of(NODE_QUANTITIES),
                    pressure, self._elements.coordinates.get(node))

    def pipe(self, pipe: str) -> Pipe:
        """The pipe's end nodes, length, diameter, roughness and wave speed as the model file gives them
        (units: see Pipe). Read from the file when loaded: available after the model is closed too."""
        data = self._elements.pipes.get(pipe)
        if data is None:
            raise UnknownElementError(f"{self.path} has no pipe {pipe!r}")
        wave_speed = self._elements.wave_speeds.get(pipe, self._elements.default_wave_speed)
        if wave_speed is None:
            wave_speed = DEFAULT_WAVE_SPEED * self._length_units_per_metre()
        return Pipe(pipe, data.start, data.end, data.length, data.diameter, data.roughness, wave_speed,
                    self._units_of(PIPE_QUANTITIES))

    def summary(self) -> pandas.DataFrame | dict[str, dict[str, int]]:
        """The count of each kind of element the model has, one row per kind (junction, reservoir, ...,
        relief_valve) with at least one: a pandas DataFrame with a "count" column when pandas is installed,
        else a dict of rows ({"junction": {"count": 92}, ...}). The frame's attrs["units"] are the model's
        units of flow, length, diameter, pressure and head."""
        rows = {kind: {"count": len(ids)} for kind, ids in self._elements.ids.items() if ids}
        try:
            import pandas
        except ImportError:
            return rows
        table = pandas.DataFrame.from_dict(rows, orient="index", columns=["count"])
        table.index.name = "kind"
        table.attrs["units"] = self._units_of(("flow", "length", "diameter", "pressure", "head"))
        return table

    def _units_of(self, quantities: tuple[str, ...]) -> dict[str, str]:
        return {quantity: self.unit(quantity) for quantity in quantities}

    def _length_units_per_metre(self) -> float:
        code = ELEMENT_UNIT_CODES["length"]
        return LENGTH_UNITS_PER_METRE.get(self._units[code], self._unit_factors[code])

    # Boundary conditions for the next runs (they stay until the model is loaded again).
    def set_demand(self, node: str, times: npt.ArrayLike, values: npt.ArrayLike) -> None:
        """Imposes the demand of a junction (model flow units) at the given times (s)."""
        if node in self._node_kind and self._node_kind[node] != "junction":
            raise ConditionError(f"a demand cannot be imposed on {self._node_kind[node]} {node!r}: junctions only")
        self._set_condition(node, DEMAND_MODE, times, values)

    def set_head(self, node: str, times: npt.ArrayLike, values: npt.ArrayLike) -> None:
        """Imposes the head of a node (model length unit) at the given times (s)."""
        self._set_condition(node, HEAD_MODE, times, values)

    def set_pressure(self, node: str, times: npt.ArrayLike, values: npt.ArrayLike) -> None:
        """Imposes the pressure of a node (model pressure unit) at the given times (s)."""
        self._set_condition(node, PRESSURE_MODE, times, values)

    def _set_condition(self, node: str, mode: str, times: npt.ArrayLike, values: npt.ArrayLike) -> None:
        with engine.lock:
            encoded = self._node_id(node)
            t, v = checked_series(node, times, values)
            with engine.engine_messages() as messages:
                status = raw.set_col_node(encoded, mode, t, v)
            if not succeeded(status):
                detail = f": {messages.text}" if messages.text else ""
                raise ConditionError(f"the engine refused the {mode} series at node {node!r} (status {status})"
                                     f"{detail}")

    def run(self, horizon: float, store_every: int = 1) -> Results:
        """Runs the transient up to `horizon` seconds, storing every `store_every` time steps."""
        with np.errstate(over="ignore"):
            fits = isinstance(horizon, (int, float)) and not isinstance(horizon, bool) and bool(
                0 < horizon and math.isfinite(horizon) and math.isfinite(np.float32(horizon)))
        if not fits:
            raise ValueError(f"horizon must be a positive finite number of seconds, not {horizon!r}")
        if not isinstance(store_every, int) or isinstance(store_every, bool) or not (
                1 <= store_every <= MAX_STORE_EVERY):
            raise ValueError(f"store_every must be a whole number from 1 to {MAX_STORE_EVERY}, not {store_every!r}")
        with engine.lock:
            self.check_open()
            engine.state.results_token = 0  # whatever the engine held is gone or about to be replaced
            with engine.engine_messages() as messages:
                status = raw.run_simulation(float(horizon), store_every)
            if not succeeded(status):
                raise RunError(status, f"the run of {self.path} up to {horizon:g} s failed (status {status})"
                                       + (f": {messages.text}" if messages.text else ""))
            _pass_on(messages.text)
            engine.state.results_token = engine.state.next_token()
            return Results(self, engine.state.results_token, float(horizon), store_every)

    def close(self) -> None:
        """Closes the engine, if it still holds this model; the model and its live results are then closed."""
        with engine.lock:
            if engine.state.model_token == self._token:
                raw.quit()
                engine.state.model_token = engine.state.results_token = 0

    def __enter__(self) -> Model:
        return self

    def __exit__(self, kind: type[BaseException] | None, error: BaseException | None,
                 traceback: TracebackType | None) -> None:
        self.close()

    def __repr__(self) -> str:
        state = "closed" if self.closed else "open"
        return (f"<qorvane.Model {str(self.path)!r} {state}: {len(self.nodes)} nodes, {len(self.links)} links; "
                f"flow in {self.unit('flow')}, length in {self.unit('length')}, pressure in {self.unit('pressure')}>")


def _beyond_the_module(encoded: bytes) -> str:
    """Why the module cannot hand this node identifier to the engine, or "" when it can."""
    width = int(raw.pyvuzizi.sz_sid)
    if len(encoded) > width:
        return f"has more than {width} characters, more than the module passes to the engine"
    if ZERO_BYTE in encoded:
        return "holds a zero byte, where the module ends an identifier it passes to the engine"
    return ""


def _pass_on(text: str) -> None:
    """Engine messages of an operation that succeeded (warnings) go on to standard error."""
    if text:
        print(text, file=sys.stderr)
