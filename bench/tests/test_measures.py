"""The bench's arithmetic and plumbing: growth fits, the call statements it times, the timing helper."""

import math

import pytest

import call_frame
import engine_bench
import timing


@pytest.mark.parametrize("exponent", [0.5, 1.0, 1.2, 2.0])
def test_growth_exponent_recovers_a_power_law(exponent):
    sizes = [1e3, 1e4, 1e5]
    seconds = [3e-6 * s ** exponent for s in sizes]
    assert engine_bench.growth_exponent(sizes, seconds) == pytest.approx(exponent)


def test_growth_exponent_of_noisy_points_lies_between_the_pairwise_slopes():
    sizes, seconds = [1e3, 1e4, 1e5], [0.01, 0.2, 1.0]
    slopes = [math.log10(0.2 / 0.01), math.log10(1.0 / 0.2)]
    assert min(slopes) <= engine_bench.growth_exponent(sizes, seconds) <= max(slopes)


@pytest.mark.parametrize("min_reaches", [1, 2_000, 50_000])
def test_transient_side_is_the_smallest_enough(min_reaches):
    side = engine_bench.transient_side(min_reaches)
    assert engine_bench.layout_for_side(side).reaches >= min_reaches
    assert side == 2 or engine_bench.layout_for_side(side - 1).reaches < min_reaches


@pytest.mark.parametrize("case", call_frame.cases(), ids=lambda c: c.name)
@pytest.mark.parametrize("by_keyword", [False, True])
def test_timed_statement_passes_the_case_arguments(case, by_keyword):
    if by_keyword and case.kwargs is None:
        pytest.skip("takes no arguments")
    received = {}

    def f(*args, **kwargs):
        received.update(args=args, kwargs=kwargs)

    namespace = {"f": f}
    exec(call_frame.statement(case.args, case.kwargs, by_keyword, namespace), namespace)
    if by_keyword:
        assert received == {"args": (), "kwargs": case.kwargs}
    else:
        assert received == {"args": case.args, "kwargs": {}}


def test_setup_runs_before_every_timed_run():
    runs = []
    namespace = {"work": lambda: sum(range(50))}
    result = timing.ns_per_call("work()", namespace, setup=lambda: runs.append(1), repeat=4, run_seconds=0.002)
    assert result > 0
    # Once per calibration run (at least one) and once per timed run.
    assert len(runs) >= 4 + 1


def test_calibration_grows_the_loop_until_a_run_is_long_enough():
    class CountingTimer:
        def __init__(self):
            self.asked = []

        def timeit(self, number):
            self.asked.append(number)
            return number * 1e-4  # 0.1 ms per loop

    timer = CountingTimer()
    assert timing.loops_for(timer, 0.02) == 1000
    assert timer.asked == [1, 10, 100, 1000]


@pytest.mark.parametrize("row, met", [
    ({"kind": "scalar/text", "speedup_over_ctypes": 4.0, "frame_ratio_to_minimal": 1.3}, True),
    ({"kind": "scalar/text", "speedup_over_ctypes": 3.9, "frame_ratio_to_minimal": 1.0}, False),
    ({"kind": "scalar/text", "speedup_over_ctypes": 9.0, "frame_ratio_to_minimal": 1.31}, False),
    ({"kind": "array", "speedup_over_ctypes": 5.0, "frame_ratio_to_minimal": 2.0}, True),
])
def test_targets(row, met):
    assert call_frame.meets_targets(row) is met


def test_interleaved_rounds_time_every_contender_in_every_round():
    order = []
    statements = {name: ("work()", {"work": lambda name=name: order.append(name)}) for name in ("a", "b")}
    result = timing.ns_per_call_each(statements, repeat=3, run_seconds=0.0)
    assert set(result) == {"a", "b"} and all(value > 0 for value in result.values())
    # After one calibration call each, three rounds of a then b.
    assert order == ["a", "b"] + ["a", "b"] * 3
