"""Run plans: read from the engine's trace lines by plan() and by each run, extrapolated to the horizon
asked, and refused clearly when the engine does not give them."""
import math
import os

import pytest

import qorvane

TIME_STEP, REACHES, FRAME = 0.002, 1500, 100  # what the stand-in of the engine below reports
PLAN = (f"vuzizi: trace: run plan: time step {TIME_STEP} s set by pipe P4, {REACHES} reaches, 2 lumped pipes, "
        "largest wave-speed adjustment 0.004 at pipe P2\n")


def engine_reporting(plan_line):
    """A run_simulation that writes the plan lines the engine writes at its trace level."""
    def run_simulation(horizon, store_every):
        steps = max(1, math.ceil(horizon / TIME_STEP - 1e-9))
        points = steps // store_every + 1
        os.write(2, (plan_line + f"vuzizi: trace: run horizon: {horizon:g} s, {steps} steps, storing every "
                                 f"{store_every}, {points} points per curve, {8 * (FRAME + 1) * points} bytes of "
                                 "results\n").encode())
        return 1
    return run_simulation


def test_plan_and_the_runs_plan_from_the_engines_lines(pumping_main, monkeypatch):
    with qorvane.Model(pumping_main) as model:
        monkeypatch.setattr(qorvane.model.raw, "run_simulation", engine_reporting(PLAN))
        plan = model.plan(30.0, 3)
        assert (plan.time_step, plan.set_by, plan.reaches, plan.lumped_pipes) == (TIME_STEP, "pipe P4", REACHES, 2)
        assert (plan.largest_adjustment, plan.adjusted_pipe) == (0.004, "P2")
        assert (plan.steps, plan.points_per_curve, plan.result_bytes) == (15000, 5001, 8 * (FRAME + 1) * 5001)
        assert "set by pipe P4" in repr(plan) and "15000 steps" in repr(plan)
        assert plan.threads == 1 and "threads" not in repr(plan)  # no threads line: one thread
        results = model.run(30.0, 3)
        assert results.plan == plan and results.detach([]).plan == plan
        monkeypatch.setattr(qorvane.model.raw, "run_simulation",
                            engine_reporting(PLAN + "vuzizi: trace: step threads: 2\n"))
        plan = model.plan(30.0, 3)
        assert plan.threads == 2 and "; 2 threads;" in repr(plan)


@pytest.mark.parametrize("plan_line, message", [
    ("", "wrote no 'run plan:' line at its trace level"),
    (PLAN.replace(", 2 lumped pipes", ""), "gives no lumped pipes"),
])
def test_an_engine_without_plan_lines_fails_plan_clearly(pumping_main, monkeypatch, plan_line, message):
    with qorvane.Model(pumping_main) as model:
        monkeypatch.setattr(qorvane.model.raw, "run_simulation", engine_reporting(plan_line))
        with pytest.raises(qorvane.RunError, match=message):
            model.plan(30.0)
        assert model.run(1.0).plan is None


def test_plan_matches_the_run(tnet1):
    with qorvane.Model(tnet1) as model:
        plan = model.plan(30.0, 2)
        assert model.run(30.0, 2).plan == plan
        assert plan.interpolated_pipes == 0
        # At 0.03 s whole reaches miss nine of Tnet1's pipes by more than the tolerance: they are interpolated.
        model.transient(time_step=0.03, travel_times="interpolate")
        plan = model.plan(30.0, 2)
        assert (plan.interpolated_pipes, plan.largest_adjustment) == (9, 0.0)
        assert "interpolated pipes" in repr(plan) and model.run(30.0, 2).plan == plan
