"""Results of a run: result curves by element kind, identifier and quantity, as arrays or tables."""
from __future__ import annotations

from collections.abc import Iterable, Sequence
from dataclasses import dataclass
from typing import TYPE_CHECKING, Any

import numpy as np
import numpy.typing as npt

import _pyQorvane as raw

from . import engine
from .errors import ResultsError, StaleResultsError, UnknownElementError
from .quantities import ELEMENT_KINDS_OF, KINDS, RATIO_UNIT, kind_named, quantity_of

if TYPE_CHECKING:
    import pandas

    from .model import Model
    from .plan import Plan

CurveKey = tuple[str, str, str]  # kind, identifier, quantity


@dataclass(frozen=True)
class Curve:
    """One result curve: times (s) and values as read-only float64 arrays, and the values' unit."""

    kind: str
    id: str
    quantity: str
    times: npt.NDArray[np.float64]
    values: npt.NDArray[np.float64]
    unit: str


class Results:
    """The results of one run. Live results read their curves from the engine while it still holds them;
    detached results (see detach) hold copies of some curves and can leave the process. `plan` is the plan
    the engine gave for the run, None when it gives none."""

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
        "relief_valve", "surge_tank", "air_vessel")."""
        quantity_of(kind, quantity)
        key = (kind, id, quantity)
        if key in self._curves:
            return self._curves[key]
        if self._element_ids and id not in self._element_ids[kind]:
            raise UnknownElementError(f"the model has no {kind} {id!r}")
        if self._model is None:
            held = ", ".join(" ".join(k) for k in self._curves) or "none"
            raise ResultsError(f"these detached results hold no curve {kind} {id} {quantity}; they hold: {held}")
        with engine.lock:
            self._check_live()
            curve = self._read(kind, id, quantity)
        self._curves[key] = curve
        return curve

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
        unit = RATIO_UNIT if wanted.unit_code is None else self._model.unit(wanted.unit_code)
        return Curve(kind, id, quantity, times, values, unit)

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

    def frame(self, quantity: str, ids: Sequence[str], kind: str | None = None) -> pandas.DataFrame:
        """A table of `quantity` for the elements `ids`, one column each, indexed by time (s); needs pandas.
        Without `kind`, each id's kind is the one kind of element with that id that has the quantity."""
        try:
            import pandas
        except ImportError:
            raise ImportError("Results.frame needs pandas: pip install pandas") from None
        curves = [self.curve(kind or self._kind_of(id, quantity), id, quantity) for id in ids]
        if not curves:
            raise ResultsError("Results.frame needs at least one identifier")
        table = pandas.DataFrame({c.id: c.values for c in curves},
                                 index=pandas.Index(curves[0].times, name="time"))
        table.attrs["units"] = {c.id: c.unit for c in curves}
        return table

    def _kind_of(self, id: str, quantity: str) -> str:
        kinds = [k for k in KINDS if quantity in KINDS[k].quantities and id in self._element_ids.get(k, ())]
        if len(kinds) == 1:
            return kinds[0]
        if not kinds:
            raise UnknownElementError(f"no element {id!r} has a {quantity} curve")
        raise ResultsError(f"{id!r} is a {' and a '.join(kinds)}: give kind=")
