"""Sweeps: results in scenario order equal to runs in this process, exceptions across processes, Dask."""
import concurrent.futures as futures
import pickle

import numpy as np
import pytest

import _pyQorvane as raw
import qorvane

HORIZON = 2.0
PRESSURE = [("node", "J5", "pressure")]


def closing(seconds):
    return qorvane.Scenario(HORIZON, PRESSURE, demands={"J5": ([0.0, 0.5, 0.5 + seconds], [40.0, 40.0, 0.0])})


def raw_error(model):
    raw.set_col_node("J5", "CS", [0.0, 1.0], [1.0, 2.0], 3)  # the raw module's error class does not pickle


SCENARIOS = [closing(s) for s in (0.05, 0.5, 1.0)] + [
    qorvane.Scenario(HORIZON, PRESSURE, pump_trips={"PU1": 0.5}, transient={"demands": "orifice"})]


def in_this_process(path):
    results = []
    for scenario in SCENARIOS:
        with qorvane.Model(path) as model:
            results.append(scenario(model).curve(*PRESSURE[0]).values)
    return results


def test_process_pool_and_threads_give_the_runs_in_order(pumping_main):
    expected = in_this_process(pumping_main)
    assert not np.array_equal(expected[0], expected[1])
    with futures.ThreadPoolExecutor(3) as threads:
        for results in (qorvane.sweep(pumping_main, SCENARIOS, workers=2, progress=False),
                        qorvane.sweep(pumping_main, SCENARIOS, executor=threads, progress=False)):
            assert all(np.array_equal(r.curve(*PRESSURE[0]).values, e) for r, e in zip(results, expected))


@pytest.mark.parametrize("scenarios, error, message", [
    ([closing(0.1), qorvane.Scenario(HORIZON, PRESSURE, heads={"NOPE": ([0], [1])})], qorvane.UnknownElementError,
     "no node 'NOPE'"),
    ([qorvane.Scenario(-1.0, PRESSURE)], ValueError, "horizon must be"),
    ([raw_error], qorvane.ScenarioError, r"_pyQorvane.error: \(shape\(tim, 0\) == nbp\) failed"),
])
def test_worker_exceptions_keep_type_and_message(pumping_main, scenarios, error, message):
    with pytest.raises(error, match=message) as caught:
        qorvane.sweep(pumping_main, scenarios, workers=2, progress=False)
    assert f"scenario {len(scenarios) - 1} of the sweep" in caught.value.__notes__[-1]


def test_load_error_crosses_processes_and_arguments_are_checked(tmp_path, pumping_main):
    with pytest.raises(qorvane.LoadError, match="code 3: cannot open model file") as caught:
        qorvane.sweep(tmp_path / "missing.inp", SCENARIOS[:1], workers=1, progress=False)
    assert caught.value.code == 3
    copy = pickle.loads(pickle.dumps(qorvane.RunError(5, "run failed")))
    assert (type(copy), copy.status, str(copy)) == (qorvane.RunError, 5, "run failed")
    for kwargs in ({"workers": 0}, {"workers": 1, "executor": futures.ThreadPoolExecutor(1)}):
        with pytest.raises(ValueError, match="workers"):
            qorvane.sweep(pumping_main, SCENARIOS, progress=False, **kwargs)


def test_dask_local_cluster(pumping_main):
    distributed = pytest.importorskip("distributed")
    with distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True, dashboard_address=None) as cluster, \
            distributed.Client(cluster) as client:
        results = qorvane.sweep(pumping_main, SCENARIOS, executor=client.get_executor(), progress=False)
    expected = in_this_process(pumping_main)
    assert all(np.array_equal(r.curve(*PRESSURE[0]).values, e) for r, e in zip(results, expected))
