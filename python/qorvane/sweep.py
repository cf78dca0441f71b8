"""Sweeps: one scenario per process (the engine is one instance per process), results in scenario order."""
from __future__ import annotations

import concurrent.futures as futures
import multiprocessing
import multiprocessing.queues
import os
import pickle
import threading
from collections.abc import Callable, Mapping, Sequence
from concurrent.futures.process import BrokenProcessPool
from dataclasses import dataclass, field
from typing import Any, Literal, TypeVar, overload

from . import engine
from .errors import ScenarioError
from .model import Model
from .results import CurveKey, Results

T = TypeVar("T")
SeriesPoints = tuple[Sequence[float], Sequence[float]]
ON_ERROR = ("raise", "return")
STARTED, ENDED = "started", "ended"


@dataclass(frozen=True)
class Scenario:
    """A run and the curves to keep (kind, id, quantity), with its events and boundary conditions:
    valve_motions by valve (times, openings), pump_trips by pump (time), transient the keyword arguments of
    Model.transient, and demands, heads and pressures by node (times, values)."""

    horizon: float
    curves: Sequence[CurveKey]
    store_every: int = 1
    demands: Mapping[str, SeriesPoints] = field(default_factory=dict)
    heads: Mapping[str, SeriesPoints] = field(default_factory=dict)
    pressures: Mapping[str, SeriesPoints] = field(default_factory=dict)
    valve_motions: Mapping[str, SeriesPoints] = field(default_factory=dict)
    pump_trips: Mapping[str, float] = field(default_factory=dict)
    transient: Mapping[str, Any] | None = None

    def __call__(self, model: Model) -> Results:
        if self.transient is not None:
            model.transient(**self.transient)
        for valve, (times, openings) in self.valve_motions.items():
            model.move_valve(valve, times, openings)
        for pump, time in self.pump_trips.items():
            model.trip_pump(pump, time)
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


# In a worker of the sweep's own pool: where it says which scenario it starts and ends.
_reports: multiprocessing.queues.SimpleQueue[tuple[str, int]] | None = None


def _report_to(queue: multiprocessing.queues.SimpleQueue[tuple[str, int]]) -> None:
    global _reports
    _reports = queue


def _run_reported(model_path: str, scenario: Callable[[Model], T], index: int) -> T:
    if _reports is None:
        return run_scenario(model_path, scenario)
    _reports.put((STARTED, index))  # written at once: a worker that dies next has told it
    try:
        return run_scenario(model_path, scenario)
    finally:
        _reports.put((ENDED, index))


def _crosses_processes(error: BaseException) -> bool:
    try:
        copy = pickle.loads(pickle.dumps(error))
    except Exception:
        return False
    return type(copy) is type(error) and str(copy) == str(error)


@overload
def sweep(model_path: str | os.PathLike[str], scenarios: Sequence[Callable[[Model], T]], workers: int | None = None,
          executor: futures.Executor | None = None, *, progress: bool = True,
          on_error: Literal["raise"] = "raise") -> list[T]: ...


@overload
def sweep(model_path: str | os.PathLike[str], scenarios: Sequence[Callable[[Model], T]], workers: int | None = None,
          executor: futures.Executor | None = None, *, progress: bool = True,
          on_error: Literal["return"]) -> list[T | Exception]: ...


def sweep(model_path: str | os.PathLike[str], scenarios: Sequence[Callable[[Model], T]], workers: int | None = None,
          executor: futures.Executor | None = None, *, progress: bool = True,
          on_error: Literal["raise", "return"] = "raise") -> list[T] | list[T | Exception]:
    """Runs each scenario (a picklable callable taking the loaded Model) in a worker and returns what each
    returned, in scenario order. `executor` takes any concurrent.futures executor (a Dask client's
    get_executor() included); without one a process pool of `workers` processes is used.

    on_error="raise": the first failure seen (the lowest scenario among those failed by then) cancels the
    scenarios not started, ends the pool's workers and raises its exception at once. on_error="return":
    a failed scenario's exception takes its place in the list. Either way the exception's last note names
    its scenario. A worker of the pool that dies (killed, crashed) breaks the pool: BrokenProcessPool names
    the scenarios that were running; it is raised, or under on_error="return" takes the place of every
    scenario that had not finished, the finished ones keeping their results. Ctrl-C ends the pool's workers
    at once."""
    if executor is not None and workers is not None:
        raise ValueError("give workers or executor, not both")
    if workers is not None and (not isinstance(workers, int) or isinstance(workers, bool) or workers < 1):
        raise ValueError(f"workers must be a whole number of at least 1, not {workers!r}")
    if on_error not in ON_ERROR:
        raise ValueError(f"on_error must be 'raise' or 'return', not {on_error!r}")
    path = os.path.abspath(model_path)
    if not scenarios:
        return []
    running: _Running | None = None
    if executor is None:
        context = multiprocessing.get_context()
        running = _Running(context.SimpleQueue())
        pool: futures.Executor = futures.ProcessPoolExecutor(
            max_workers=min(workers or os.cpu_count() or 1, len(scenarios)), mp_context=context,
            initializer=_report_to, initargs=(running.reports,))
    else:
        pool = executor
    outcome: list[Any] = [None] * len(scenarios)
    finished = False
    broken: str | None = None  # the message of a broken pool, made once
    bar = _progress_bar(len(scenarios)) if progress else None
    submitted: dict[futures.Future[T], int] = {}
    try:
        submitted = {pool.submit(_run_reported, path, s, i): i for i, s in enumerate(scenarios)}
        for job in futures.as_completed(submitted):
            if bar is not None:
                bar.update(1)
            if running is not None:
                running.read()
            index = submitted[job]
            error = job.exception()
            if error is None:
                outcome[index] = job.result()
                continue
            if isinstance(error, BrokenProcessPool) and running is not None:
                if broken is None:
                    broken = running.broken_pool_message()
                if on_error == "raise":
                    raise BrokenProcessPool(broken) from error
                # The scenarios finished before the pool broke keep their results; the others fail with it.
                error = BrokenProcessPool(broken)
            if not isinstance(error, Exception):
                raise error
            if on_error == "raise":
                # Among the scenarios failed by now, the lowest one's own failure, if any, over a broken pool's.
                index, error = min(((submitted[j], e) for j in submitted if j.done() and not j.cancelled()
                                    and isinstance(e := j.exception(), Exception)
                                    and not isinstance(e, BrokenProcessPool)),
                                   key=lambda f: f[0], default=(index, error))
            error.add_note(f"raised by scenario {index} of the sweep")
            if on_error == "raise":
                raise error
            outcome[index] = error
        finished = True
        return outcome
    finally:
        if bar is not None:
            bar.close()
        if not finished:
            for job in submitted:
                job.cancel()
        if isinstance(pool, futures.ProcessPoolExecutor) and executor is None:
            if finished:
                pool.shutdown()
            else:
                _end_workers(pool)
        if running is not None:
            running.reports.close()


class _Running:
    """The scenarios the pool's workers have started and not ended, from their reports. The reports are
    read at every completion, so that the pipe they go through never fills."""

    def __init__(self, reports: multiprocessing.queues.SimpleQueue[tuple[str, int]]) -> None:
        self.reports = reports
        self.indexes: set[int] = set()

    def read(self) -> None:
        while not self.reports.empty():
            what, index = self.reports.get()
            if what == STARTED:
                self.indexes.add(index)
            else:
                self.indexes.discard(index)

    def broken_pool_message(self) -> str:
        self.read()
        named = ", ".join(map(str, sorted(self.indexes))) or "none known"
        return (f"a worker process of the sweep ended abruptly (killed, crashed, or it called os._exit) while "
                f"these scenarios were running: {named}; the pool's other workers were ended with it")


def _end_workers(pool: futures.ProcessPoolExecutor) -> None:
    """Cancels what has not started and ends the pool's workers now, waiting only for them to be gone."""
    processes = list((getattr(pool, "_processes", None) or {}).values())
    manager = getattr(pool, "_executor_manager_thread", None)  # it reaps the workers it sees end
    pool.shutdown(wait=False, cancel_futures=True)
    for process in processes:
        process.terminate()
    if isinstance(manager, threading.Thread):
        manager.join()
    for process in processes:
        process.join()


def _progress_bar(total: int) -> Any:
    try:
        from tqdm import tqdm
    except ImportError:
        return None
    return tqdm(total=total, desc="sweep", unit="scenario")
