"""Standard error around engine calls: the engine's lines go to exceptions, everything else goes on to
standard error unharmed and in order, and a missing sys.stderr is no failure."""
import os
import sys

import pytest

import qorvane


def test_engine_lines_are_kept_apart_from_other_output(pumping_main, monkeypatch, capfd):
    def failing_run(horizon, store_every):
        os.write(2, b"vuzizi: error 32: transient run failed numerically: at J5\nnot the engine's\n"
                    b"vuzizi: trace: RunCalculQor: 10 % done\n")
        return 0

    with qorvane.Model(pumping_main) as model:
        monkeypatch.setattr(qorvane.model.raw, "run_simulation", failing_run)
        with pytest.raises(qorvane.RunError) as caught:
            model.run(1.0)
    assert str(caught.value).endswith(": vuzizi: error 32: transient run failed numerically: at J5")
    assert capfd.readouterr().err == "not the engine's\n"


def test_no_sys_stderr(every_kind, monkeypatch):
    monkeypatch.setattr(sys, "stderr", None)
    with qorvane.Model(every_kind) as model:
        model.move_valve("V1", [0.0, 1.0], [1.0, 0.5])
        assert model.run(1.0).curve("node", "J5", "head").values.size > 1
