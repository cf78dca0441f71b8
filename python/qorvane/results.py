"""Results of a run: result curves by element kind, identifier and quantity, as arrays or tables."""
from __future__ import annotations

import numbers
from collections.abc import Iterable, Sequence
from dataclasses import dataclass, replace
from typing import TYPE_CHECKING, Any

import numpy as np
import numpy.typing as npt

import _pyQorvane as raw

from . import engine
from .errors import ResultsError, StaleResultsError, UnknownElementError
from .quantities import ALIASES, ELEMENT_KINDS_OF, KINDS, kind_named, quantity_of

if TYPE_CHECKING:
    import pandas

    from .model import Model
    from .plan import Plan

CurveKey = tuple[str, str, str]  # kind, identifier, quantity
OPTIONAL_NODE_QUANTITY = "cavity_volume"  # a node curve of runs with column separation only


@dataclass(frozen=True, repr=False)
class Curve:
    """One result curve: times (s) and values as read-only float64 arrays, and the values' unit (the model's
    unit of the quantity, Model.unit(quantity); "-" for a ratio)."""

    kind: str
    id: str
    quantity: str
    times: npt.NDArray[np.float64]
    values: npt.NDArray[np.float64]
    unit: str

    def __repr__(self) -> str:
        head = f"<qorvane.Curve {self.kind} {self.id!r} {self.quantity}: {self.values.size} points"
        if not self.values.size:
            return head + ">"
        return (f"{head} from {self.times[0]:g} to {self.times[-1]:g} s, {np.nanmin(self.values):.6g} to "
                f"{np.nanmax(self.values):.6g} {self.unit}>")


class Results:
    """The results of one run up to `horizon` (s), stored every `store_every` time steps. Live results read
    their curves from the engine while it still holds them; detached results (see detach) hold copies of
    some curves and can leave the process. Curve times are in seconds, values in the model's units.
    `plan` is the plan the engine gave for the run, None when it gives none."""

    plan: Plan | None = None

    def __init__(self, model: Model | None, token: int, horizon: float, store_every: int,
                 curves: dict[CurveKey, Curve] | None = None, element_ids: dict[str, frozenset[str]] | None = None
                 ) -> None:
        self._model = model
        self._token = token
        self.horizon = horizon
        self.store_every = store_every
        self._curves: dict[CurveKey, Curve] = dict(curves or {})
        if element_ids is None and model is not None:
            element_ids = {kind: frozenset(i for k in kinds for i in model.elements.ids[k])
                           for kind, kinds in ELEMENT_KINDS_OF.items()}
        self._element_ids = element_ids or {}

    @property
    def live(self) -> bool:
        """True while the engine still holds these results."""
        return self._model is not None and self._token == engine.state.results_token and not self._model.closed

    def curve(self, kind: str, id: str, quantity: str) -> Curve:
        """The curve of `quantity` of the element `id` of `kind` ("node", "pipe", "pump", "valve", "tank",
        "relief_valve", "surge_tank", "air_vessel"; "link" for the flow or head loss of a pipe, pump or
        valve; "reservoir" for a reservoir's node curves). Values are in the model's unit of the quantity."""
        quantity_of(kind, quantity)
        key = (kind, id, quantity)
        if key in self._curves:
            return self._curves[key]
        if self._element_ids and id not in self._element_ids.get(kind, ()):
            raise UnknownElementError(f"the model has no {kind} {id!r}")
        if kind in ALIASES:
            curve = replace(self.curve(self._target_kind(kind, id, quantity), id, quantity), kind=kind)
            self._curves[key] = curve
            return curve
        if self._model is None:
            held = ", ".join(" ".join(k) for k in self._curves) or "none"
            raise ResultsError(f"these detached results hold no curve {kind} {id} {quantity}; they hold: {held}")
        with engine.lock:
            self._check_live()
            curve = self._read(kind, id, quantity)
        self._curves[key] = curve
        return curve

    def _target_kind(self, alias: str, id: str, quantity: str) -> str:
        """The kind whose curves hold the alias's curve of that element."""
        for target in ALIASES[alias].targets:
            if id in self._element_ids.get(target, ()):
                if quantity not in KINDS[target].quantities:
                    raise ResultsError(f"{alias} {id!r} is a {target}, which has no {quantity} curve; it has "
                                       f"{', '.join(KINDS[target].quantities)}")
                return target
        raise UnknownElementError(f"the model has no {alias} {id!r}")

    def _check_live(self) -> None:
        if not self.live:
            raise StaleResultsError("these results are no longer held by the engine: a later run, load or close "
                                    "replaced them")

    def _read(self, kind: str, id: str, quantity: str) -> Curve:
        assert self._model is not None
        wanted = quantity_of(kind, quantity)
        with engine.engine_messages() as messages:
            count = messages.call(raw.size_ts, kind_named(kind).element_type, engine.encode_id(id), wanted.attribute)
            times, values = messages.call(raw.result_ts, count) if count > 0 else (np.empty(0), np.empty(0))
        if count <= 0:
            raise ResultsError(f"the engine has no {quantity} curve for {kind} {id!r}"
                               + (f": {messages.text}" if messages.text else ""))
        times.flags.writeable = values.flags.writeable = False
        return Curve(kind, id, quantity, times, values, self._model.unit(quantity))

    def detach(self, keys: Iterable[CurveKey]) -> Results:
        """Results holding the curves `keys` (kind, id, quantity), read now; they need no engine and pickle."""
        curves: dict[CurveKey, Curve] = {}
        for kind, id, quantity in keys:
            curves[(kind, id, quantity)] = self.curve(kind, id, quantity)
        detached = Results(None, 0, self.horizon, self.store_every, curves, self._element_ids)
        detached.plan = self.plan
        return detached

    def __reduce__(self) -> tuple[Any, ...]:
        if self._model is not None:
            raise TypeError("live results cannot leave the process: detach() the curves needed")
        return (Results, (None, 0, self.horizon, self.store_every, self._curves, self._element_ids),
                {"plan": self.plan})

    def frame(self, quantity: str, ids: str | Sequence[str], kind: str | None = None) -> pandas.DataFrame:
        """A table of `quantity` for the element `ids` (one id, or a sequence of them), one column each,
        indexed by time (s), in the model's unit of the quantity (attrs["units"] by column); needs pandas.
        Without `kind`, each id's kind is the one kind of element with that id that has the quantity.
        The index holds the engine's stored times: look a time up with at() or `.index.get_indexer([t],
        method="nearest")`, not `.loc[t]`."""
        try:
            import pandas
        except ImportError:
            raise ImportError("Results.frame needs pandas: pip install pandas") from None
        names = [ids] if isinstance(ids, str) else list(ids)
        curves = [self.curve(kind or self._kind_of(id, quantity), id, quantity) for id in names]
        if not curves:
            raise ResultsError("Results.frame needs at least one identifier")
        table = pandas.DataFrame({c.id: c.values for c in curves},
                                 index=pandas.Index(curves[0].times, name="time"))
        table.attrs["units"] = {c.id: c.unit for c in curves}
        return table

    def at(self, time: float) -> pandas.DataFrame:
        """Every node's head, outflow and pressure (and cavity volume, with column separation) at the stored
        time nearest `time` (s; the earlier of two equally near), one row per node in the model's order, in
        the model's units (attrs["units"] by column); attrs["time"] is the stored time used. `time` must lie
        from 0 to the run's horizon. Detached results give the nodes and quantities whose curves they hold.
        Needs pandas."""
        try:
            import pandas
        except ImportError:
            raise ImportError("Results.at needs pandas: pip install pandas") from None
        if isinstance(time, bool) or not isinstance(time, numbers.Real) or not 0 <= time <= self.horizon:
            raise ValueError(f"time must be a number of seconds from 0 to the horizon {self.horizon:g}, "
                             f"not {time!r}")
        nodes, quantities = self._node_table_shape()
        times = self.curve("node", nodes[0], quantities[0]).times
        position = _nearest(times, float(time))
        columns: dict[str, list[float]] = {}
        units: dict[str, str] = {}
        for quantity in quantities:
            values = []
            for node in nodes:
                curve = self._curve_once("node", node, quantity)
                if curve is None:
                    break
                values.append(float(curve.values[position]))
                units[quantity] = curve.unit
            else:
                columns[quantity] = values
        stored_time = float(times[position])
        table = pandas.DataFrame(columns, index=pandas.Index(nodes, name="node"))
        table.attrs.update(time=stored_time, units=units)
        return table

    def _node_table_shape(self) -> tuple[list[str], list[str]]:
        """The nodes and quantities of at(): the model's, or those whose curves detached results hold."""
        quantities = list(KINDS["node"].quantities)
        if self._model is not None:
            return list(self._model.nodes), quantities
        held = [(id, q) for (k, id, q) in self._curves if k == "node"]
        nodes = list(dict.fromkeys(id for id, _ in held))
        if not nodes:
            raise ResultsError("these detached results hold no node curve")
        return nodes, [q for q in quantities if all((n, q) in held for n in nodes)]

    def _curve_once(self, kind: str, id: str, quantity: str) -> Curve | None:
        """The curve, read without keeping it (at() reads every node's); None when the engine has no such
        curve (the cavity volume of a run without column separation)."""
        key = (kind, id, quantity)
        if key in self._curves:
            return self._curves[key]
        with engine.lock:
            self._check_live()
            try:
                return self._read(kind, id, quantity)
            except ResultsError:
                if quantity == OPTIONAL_NODE_QUANTITY:
                    return None
                raise

    def __repr__(self) -> str:
        source = f" of {self._model.path.name}" if self._model is not None else ""
        every = "every step" if self.store_every == 1 else f"every {self.store_every} steps"
        state = "live" if self.live else ("stale" if self._model is not None else "detached")
        return (f"<qorvane.Results{source} up to {self.horizon:g} s, {every}, {state}: "
                f"{len(self._curves)} curves read>")

    def _kind_of(self, id: str, quantity: str) -> str:
        kinds = [k for k in KINDS if quantity in KINDS[k].quantities and id in self._element_ids.get(k, ())]
        if len(kinds) == 1:
            return kinds[0]
        if not kinds:
            raise UnknownElementError(f"no element {id!r} has a {quantity} curve")
        raise ResultsError(f"{id!r} is a {' and a '.join(kinds)}: give kind=")


def _nearest(times: npt.NDArray[np.float64], time: float) -> int:
    """Position of the stored time nearest `time`, the earlier of two equally near."""
    after = int(np.searchsorted(times, time))
    if after == 0:
        return 0
    if after == times.size or time - times[after - 1] <= times[after] - time:
        return after - 1
    return after
