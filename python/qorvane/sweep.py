"""Sweeps: one scenario per process (the engine is one instance per process), results in scenario order."""
from __future__ import annotations

import concurrent.futures as futures
import os
import pickle
from collections.abc import Callable, Mapping, Sequence
from dataclasses import dataclass, field
from typing import Any, TypeVar

from . import engine
from .errors import ScenarioError
from .model import Model
from .results import CurveKey, Results

T = TypeVar("T")
SeriesPoints = tuple[Sequence[float], Sequence[float]]


@dataclass(frozen=True)
class Scenario:
    """Boundary conditions by node, a run, and the curves to keep (kind, id, quantity)."""

    horizon: float
    curves: Sequence[CurveKey]
    store_every: int = 1
    demands: Mapping[str, SeriesPoints] = field(default_factory=dict)
    heads: Mapping[str, SeriesPoints] = field(default_factory=dict)
    pressures: Mapping[str, SeriesPoints] = field(default_factory=dict)

    def __call__(self, model: Model) -> Results:
        for node, (times, values) in self.demands.items():
            model.set_demand(node, times, values)
        for node, (times, values) in self.heads.items():
            model.set_head(node, times, values)
        for node, (times, values) in self.pressures.items():
            model.set_pressure(node, times, values)
        return model.run(self.horizon, self.store_every).detach(self.curves)


def run_scenario(model_path: str, scenario: Callable[[Model], T]) -> T:
    """Loads the model afresh (no condition of an earlier scenario stays) and runs one scenario on it."""
    with engine.lock:
        try:
            with Model(model_path) as model:
                return scenario(model)
        except Exception as error:
            if _crosses_processes(error):
                raise
            raise ScenarioError(f"{type(error).__module__}.{type(error).__qualname__}: {error}") from None


def _crosses_processes(error: BaseException) -> bool:
    try:
        copy = pickle.loads(pickle.dumps(error))
    except Exception:
        return False
    return type(copy) is type(error) and str(copy) == str(error)


def sweep(model_path: str | os.PathLike[str], scenarios: Sequence[Callable[[Model], T]],
          workers: int | None = None, executor: futures.Executor | None = None, *,
          progress: bool = True) -> list[T]:
    """Runs each scenario (a picklable callable taking the loaded Model) in a worker and returns what each
    returned, in scenario order. `executor` takes any concurrent.futures executor (a Dask client's
    get_executor() included); without one a process pool of `workers` processes is used. The first failing
    scenario, in scenario order, raises its exception."""
    if executor is not None and workers is not None:
        raise ValueError("give workers or executor, not both")
    if workers is not None and (not isinstance(workers, int) or isinstance(workers, bool) or workers < 1):
        raise ValueError(f"workers must be a whole number of at least 1, not {workers!r}")
    path = os.path.abspath(model_path)
    if not scenarios:
        return []
    pool = executor or futures.ProcessPoolExecutor(max_workers=min(workers or os.cpu_count() or 1, len(scenarios)))
    try:
        submitted = [pool.submit(run_scenario, path, s) for s in scenarios]
        bar = _progress_bar(len(submitted)) if progress else None
        for _ in futures.as_completed(submitted):
            if bar is not None:
                bar.update(1)
        if bar is not None:
            bar.close()
        for index, job in enumerate(submitted):
            error = job.exception()
            if error is not None:
                error.add_note(f"raised by scenario {index} of the sweep")
                raise error
        return [job.result() for job in submitted]
    finally:
        if executor is None:
            pool.shutdown(cancel_futures=True)


def _progress_bar(total: int) -> Any:
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, desc="sweep", unit="scenario")
