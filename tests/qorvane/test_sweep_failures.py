"""Sweeps that fail: a failed scenario returned in its place or raised at once, a dead worker named with
the scenarios running, Ctrl-C ending the pool's workers."""
import multiprocessing
import os
import signal
import threading
import time
from dataclasses import dataclass
from pathlib import Path

import pytest

import qorvane

SCENARIO_COUNT, FAILING, WORKERS = 50, 10, 2
PRESSURE = [("node", "J5", "pressure")]
LONG_WAIT = 30.0  # s: longer than any sweep here should take
LONG_SWEEP = 2000
PAUSE = 0.1  # s: a scenario's length, far beyond the time a failure takes to reach the sweep


@dataclass(frozen=True)
class Stamped:
    """A scenario that writes the time it started into a file named by its index, and takes `pause` s more."""

    scenario: qorvane.Scenario
    folder: Path
    index: int
    pause: float = 0.0

    def __call__(self, model):
        stamp = self.folder / f"{self.index}.part"
        stamp.write_text(repr(time.time()))
        stamp.rename(self.folder / str(self.index))  # whole, even when the worker is ended next
        time.sleep(self.pause)
        return self.scenario(model)


def closing(index):
    heads = {"NOPE": ([0.0], [1.0])} if index == FAILING else {}
    return qorvane.Scenario(1.0, PRESSURE, demands={"J5": ([0.0, 0.2, 0.3 + index / 100], [40.0, 40.0, 0.0])},
                            heads=heads)


def test_a_failed_scenario_is_returned_in_its_place_or_raised_at_once(pumping_main, tmp_path):
    scenarios = [Stamped(closing(i), tmp_path, i) for i in range(SCENARIO_COUNT)]
    outcome = qorvane.sweep(pumping_main, scenarios, workers=WORKERS, progress=False, on_error="return")
    assert isinstance(outcome[FAILING], qorvane.UnknownElementError)
    assert f"scenario {FAILING} of the sweep" in outcome[FAILING].__notes__[-1]
    assert all(isinstance(r, qorvane.Results) for i, r in enumerate(outcome) if i != FAILING)
    for stamp in tmp_path.iterdir():
        stamp.unlink()
    scenarios = [Stamped(closing(i), tmp_path, i, PAUSE * (i != FAILING)) for i in range(SCENARIO_COUNT)]
    with pytest.raises(qorvane.UnknownElementError, match="no node 'NOPE'"):
        qorvane.sweep(pumping_main, scenarios, workers=WORKERS, progress=False)
    failed_at = float((tmp_path / str(FAILING)).read_text())
    started_after = [p for p in tmp_path.glob("[0-9]*") if p.suffix != ".part" and float(p.read_text()) > failed_at]
    assert len(started_after) <= WORKERS  # at most what the workers had taken when the failure came
    assert not multiprocessing.active_children()


def dies(model):
    os._exit(3)


def sleeps(model):
    time.sleep(LONG_WAIT)


def interrupts(model):
    os.kill(os.getppid(), signal.SIGINT)
    time.sleep(LONG_WAIT)


@dataclass(frozen=True)
class Finishes:
    """Sleeps, then leaves a file saying it finished."""

    folder: Path

    def __call__(self, model):
        time.sleep(LONG_WAIT / 10)
        (self.folder / "finished").touch()


def test_a_dead_worker_is_named_with_the_scenarios_running(pumping_main):
    with pytest.raises(futures_broken(), match=r"scenarios were running: (0, )?1;"):
        qorvane.sweep(pumping_main, [sleeps, dies, sleeps], workers=WORKERS, progress=False)
    assert not multiprocessing.active_children()


def returns_at_once(model):
    return "done"


def dies_later(model):
    time.sleep(PAUSE * 10)  # after the first scenario has finished
    os._exit(3)


def test_a_broken_pool_keeps_the_finished_results_under_return(pumping_main):
    outcome = qorvane.sweep(pumping_main, [returns_at_once, dies_later, sleeps], workers=WORKERS, progress=False,
                            on_error="return")
    assert outcome[0] == "done"
    assert all(isinstance(e, futures_broken()) and "scenarios were running" in str(e)
               and f"scenario {i} of the sweep" in e.__notes__[-1] for i, e in enumerate(outcome) if i)
    assert not multiprocessing.active_children()
    from concurrent.futures import ProcessPoolExecutor
    with ProcessPoolExecutor(WORKERS) as outside, pytest.raises(futures_broken()):  # its own error, as it came
        qorvane.sweep(pumping_main, [dies], executor=outside, progress=False)


def futures_broken():
    from concurrent.futures.process import BrokenProcessPool
    return BrokenProcessPool


def test_ctrl_c_ends_the_workers_at_once(pumping_main, tmp_path):
    with pytest.raises(KeyboardInterrupt):
        qorvane.sweep(pumping_main, [interrupts, Finishes(tmp_path), Finishes(tmp_path)], workers=WORKERS,
                      progress=False)
    assert not multiprocessing.active_children() and not (tmp_path / "finished").exists()


def node_count(model):
    return len(model.nodes)


def test_a_long_sweep_does_not_stall_on_its_workers_reports(pumping_main):
    # Two reports per scenario go through one pipe: far more than it holds unless the sweep reads them.
    outcome = []
    thread = threading.Thread(target=lambda: outcome.extend(
        qorvane.sweep(pumping_main, [node_count] * LONG_SWEEP, workers=WORKERS, progress=False)), daemon=True)
    thread.start()
    thread.join(LONG_WAIT * 4)
    assert outcome == [7] * LONG_SWEEP
