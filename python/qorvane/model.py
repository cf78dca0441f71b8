"""A network model loaded in the engine: its elements, its nodes, boundary conditions and runs."""
from __future__ import annotations

import contextlib
import math
import os
import shutil
import tempfile
import weakref
from collections.abc import Callable
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
from .events import Events, PumpTrip, TransientOptions, ValveMotion, derived_text
from .inp_reader import ModelElements, read_elements
from .paths import engine_path
from .plan import PLAN_LINE, Plan, StepPlan
from .quantities import ELEMENT_UNIT_CODES, NODE_KINDS, RATIO_UNIT, UNIT_CODE_OF_WORD
from .results import Results

if TYPE_CHECKING:
    import pandas

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
# The probe runs of plan(): the shortest horizon (one step), then one and a half steps (two steps).
ONE_STEP_HORIZON = float(np.finfo(np.float32).tiny)
TWO_STEPS = 1.5
FILE_ENCODING = "utf-8"  # with surrogateescape: the user's bytes come back unchanged in the derived copy
Series = tuple[npt.NDArray[np.float32], npt.NDArray[np.float32]]


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
        self._encoded_path = engine_path(self.path)
        self._source = self.path.absolute()  # for loading it again, wherever the working folder is then
        self._valve_motions: dict[str, ValveMotion] = {}
        self._pump_trips: dict[str, PumpTrip] = {}
        self._options: TransientOptions | None = None
        self._conditions: list[tuple[bytes, str, Series]] = []
        self._folder: Path | None = None
        with engine.lock:
            engine.state.model_token = engine.state.results_token = 0
            self.engine_version = engine.open_engine()
            self._load(self._encoded_path)
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

    def _load(self, encoded: bytes, derived: Path | None = None) -> None:
        """Loads the model file, or a copy derived from it, which messages then name by the user's file."""
        with engine.engine_messages() as messages:
            code = messages.call(raw.loadmodel, encoded)
        shown = None if derived is None else f"{self.path} with the events set from Python"
        text = messages.text if shown is None else messages.text.replace(str(derived), shown)
        if code != LOADED:
            detail = f"\n{text}" if text else ""
            raise LoadError(code, f"loading {shown or self.path} failed with code {code}: "
                                  f"{load_error_meaning(code)}{detail}")
        engine.pass_on(text)

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
            self._impose(encoded, mode, (t, v))
            self._conditions.append((encoded, mode, (t, v)))

    def _impose(self, encoded: bytes, mode: str, series: Series) -> None:
        with engine.engine_messages() as messages:
            status = messages.call(raw.set_col_node, encoded, mode, *series)
        if not succeeded(status):
            detail = f": {messages.text}" if messages.text else ""
            node = encoded.decode(FILE_ENCODING, "surrogateescape")
            raise ConditionError(f"the engine refused the {mode} series at node {node!r} (status {status}){detail}")

    # Events and run options for the next runs. The engine reads them from the model file: the model is
    # loaded again from a copy of its file with them, in a private folder, and the boundary conditions
    # set so far are imposed again. Each call replaces what an earlier one (or the file) gave for the same
    # valve, pump or option; the results of earlier runs go.
    def move_valve(self, valve: str, times: npt.ArrayLike, openings: npt.ArrayLike) -> None:
        """Moves a valve: its relative opening (1 its opening in the model, 0 shut) at the given times (s),
        linear between them and held before the first and after the last."""
        if valve not in self._elements.ids["valve"]:
            raise UnknownElementError(f"{self.path} has no valve {valve!r}")
        motion = ValveMotion.checked(valve, times, openings)
        self._change_events(lambda: self._valve_motions.__setitem__(valve, motion))

    def trip_pump(self, pump: str, time: float, *, inertia: float | None = None, rated_speed: float | None = None,
                  efficiency: float | None = None) -> None:
        """Cuts a pump's motor at `time` (s). Without `inertia` (kg m2) it stops at once; with it, its
        `rated_speed` (rev/min) and `efficiency` (0 to 1], it runs down. Its flow never reverses."""
        if pump not in self._elements.ids["pump"]:
            raise UnknownElementError(f"{self.path} has no pump {pump!r}")
        trip = PumpTrip.checked(pump, time, inertia, rated_speed, efficiency)
        self._change_events(lambda: self._pump_trips.__setitem__(pump, trip))

    def transient(self, time_step: float | None = None, demands: str = "fixed", column_separation: bool = False,
                  vapour_pressure: float | None = None, wave_speed_tolerance: float | None = None,
                  dead_end_valves: str = "loss", demand_conditions: str = "flow",
                  travel_times: str = "interpolate") -> None:
        """Sets the run's options, in place of the file's lines for them (None: the engine's default).

        time_step: the common time step (s) instead of the one the engine chooses. demands: "fixed" holds
        junction demands at their steady values, "orifice" lets them follow the pressure. column_separation:
        vapour cavities where the head falls to vapour head; vapour_pressure: absolute, in the model's
        pressure unit (by default water's at 20 C). wave_speed_tolerance: the largest relative adjustment
        of a pipe's wave speed the engine's choice of step accepts. dead_end_valves: "loss" moves every valve
        by its loss law, "flow" lets a valve to a dead-end junction with a demand set that outflow in
        proportion to its opening (TSNet's law; with demands="orifice"). demand_conditions: "flow" imposes
        a demand condition's outflow, "orifice" takes it as the outflow at the steady pressure and lets the
        orifice law scale it (with demands="orifice"). travel_times: "interpolate" keeps the travel time of a
        pipe that whole reaches fit only beyond the tolerance by interpolating what reaches its ends between
        steps, gives the fastest event 70 steps and takes a tolerance of 0.0001 unless one is given;
        "adjust" gives such a pipe the travel time of whole reaches, the fastest event 20 steps and a
        tolerance of 0.01 (it keeps fronts sharp, but on large networks its adjustments move surges by
        tens of per cent)."""
        options = TransientOptions.checked(time_step, demands, column_separation, vapour_pressure,
                                           wave_speed_tolerance, dead_end_valves, demand_conditions, travel_times)
        self._change_events(lambda: setattr(self, "_options", options))

    def clear_events(self) -> None:
        """Removes the valve motions, pump trips and options set from Python: the file's own apply again."""
        def clear() -> None:
            self._valve_motions.clear()
            self._pump_trips.clear()
            self._options = None
        self._change_events(clear)

    def clear_conditions(self) -> None:
        """Removes the boundary conditions set by set_demand, set_head and set_pressure (the model is
        loaded again: the results of earlier runs go)."""
        with engine.lock:
            self.check_open()
            self._conditions.clear()
            self._reload()

    def _change_events(self, change: Callable[[], None]) -> None:
        """Applies a change of the events and loads the model with them; when the engine refuses them, the
        events are put back as they were and ConditionError says why."""
        with engine.lock:
            self.check_open()
            saved = dict(self._valve_motions), dict(self._pump_trips), self._options
            change()
            try:
                self._reload()
            except (LoadError, ModelFileError) as error:
                self._valve_motions, self._pump_trips, self._options = saved
                self._reload()
                if isinstance(error, ModelFileError):
                    raise
                raise ConditionError(f"the engine refused the events set from Python: {error.message}") from None

    def _reload(self) -> None:
        engine.state.results_token = 0
        events = Events(self._valve_motions, self._pump_trips, self._options)
        if events.empty:
            self._load(engine_path(self._source))
        else:
            derived = self._private_folder() / self.path.name
            try:
                text = self._source.read_bytes().decode(FILE_ENCODING, "surrogateescape")
            except OSError as error:
                raise ModelFileError(f"{self.path}: the model file cannot be read again to carry the events set "
                                     f"from Python: {error}") from None
            derived.write_bytes(derived_text(text, events).encode(FILE_ENCODING, "surrogateescape"))
            self._load(engine_path(derived), derived)
        for encoded, mode, series in self._conditions:
            self._impose(encoded, mode, series)

    def _private_folder(self) -> Path:
        if self._folder is None:
            self._folder = Path(tempfile.mkdtemp(prefix="qorvane-"))
            weakref.finalize(self, shutil.rmtree, self._folder, True)
        return self._folder

    def plan(self, horizon: float, store_every: int = 1) -> Plan:
        """What a run up to `horizon` storing every `store_every` steps would take, without running it: the
        time step and the element that sets it, reaches, wave-speed adjustment, step count, points per curve
        and bytes of results. The engine is asked by two runs of one and two steps, so the results of an
        earlier run go. RunError when the engine does not report its plan."""
        _check_run_arguments(horizon, store_every)
        with engine.lock:
            self.check_open()
            engine.state.results_token = 0
            one_step = self._probe(ONE_STEP_HORIZON)
            step = StepPlan.from_traces(one_step)
            two_steps = self._probe(TWO_STEPS * step.time_step)
            one, two = Plan.of_run(one_step, 1), Plan.of_run(two_steps, 1)
            if one.points_per_curve == two.points_per_curve:
                raise RunError(0, f"the engine stored {one.points_per_curve} points per curve for runs of one and "
                                  "two steps: the memory of a longer run cannot be told")
            return Plan.extrapolated(step, one, two, float(horizon), store_every)

    def _probe(self, horizon: float) -> list[str]:
        """The trace lines of a short run, whose results are not kept."""
        with engine.engine_messages() as messages:
            status = messages.call(raw.run_simulation, horizon, 1)
        if not succeeded(status):
            raise RunError(status, f"the run of {self.path} up to {horizon:g} s that asks the engine its plan "
                                   f"failed (status {status})" + (f": {messages.text}" if messages.text else ""))
        return messages.traces

    def run(self, horizon: float, store_every: int = 1) -> Results:
        """Runs the transient up to `horizon` seconds, storing every `store_every` time steps.

        The call holds the interpreter lock until the engine returns: no progress can be shown and Ctrl-C is
        seen only afterwards. plan() tells beforehand how many steps and how much memory a run takes; the
        results keep the plan of their run (None when the engine does not report it)."""
        _check_run_arguments(horizon, store_every)
        with engine.lock:
            self.check_open()
            engine.state.results_token = 0  # whatever the engine held is gone or about to be replaced
            with engine.engine_messages() as messages:
                status = messages.call(raw.run_simulation, float(horizon), store_every)
            if not succeeded(status):
                raise RunError(status, f"the run of {self.path} up to {horizon:g} s failed (status {status})"
                                       + (f": {messages.text}" if messages.text else ""))
            engine.pass_on(messages.text)
            engine.state.results_token = engine.state.next_token()
            results = Results(self, engine.state.results_token, float(horizon), store_every)
            if any(trace.startswith(PLAN_LINE) for trace in messages.traces):
                with contextlib.suppress(RunError):  # a plan the engine gives in part is no plan
                    results.plan = Plan.of_run(messages.traces, store_every)
            return results

    def close(self) -> None:
        """Closes the engine, if it still holds this model; the model and its live results are then closed."""
        with engine.lock:
            if engine.state.model_token == self._token:
                raw.quit()
                engine.state.model_token = engine.state.results_token = 0
            if self._folder is not None:
                shutil.rmtree(self._folder, ignore_errors=True)
                self._folder = None

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


def _check_run_arguments(horizon: float, store_every: int) -> None:
    """A horizon the engine receives as a positive 32-bit float (the raw module would keep the last horizon
    for one that rounds to 0), and a whole storage factor."""
    with np.errstate(over="ignore", under="ignore"):
        fits = isinstance(horizon, (int, float)) and not isinstance(horizon, bool) and bool(
            0 < horizon and math.isfinite(horizon) and 0 < np.float32(horizon) < np.inf)
    if not fits:
        raise ValueError(f"horizon must be a number of seconds that is positive and finite as a 32-bit float, "
                         f"not {horizon!r}")
    if not isinstance(store_every, int) or isinstance(store_every, bool) or not 1 <= store_every <= MAX_STORE_EVERY:
        raise ValueError(f"store_every must be a whole number from 1 to {MAX_STORE_EVERY}, not {store_every!r}")
