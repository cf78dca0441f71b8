"""The real-network rows: the surge error against the fine run, and the transient copy of a model."""

import pytest

import real_network_runs as R


@pytest.mark.parametrize("run, expected", [
    # junction: [initial, highest, lowest]; the fine run's largest surge is A's rise of 10
    ({"A": [100.0, 110.0, 95.0], "B": [50.0, 52.0, 49.0]}, 0.0),
    ({"A": [100.0, 109.0, 95.0], "B": [50.0, 52.0, 49.0]}, 0.1),      # a rise 1 short
    ({"A": [100.0, 110.0, 95.0], "B": [50.0, 52.0, 47.0]}, 0.2),      # a drop 2 deeper
    ({"A": [101.0, 111.0, 96.0], "B": [50.0, 52.0, 49.0]}, 0.0),      # surges measured from each run's start
])
def test_surge_error_is_relative_to_the_fine_runs_largest_surge(run, expected):
    fine = {"heads": {"A": [100.0, 110.0, 95.0], "B": [50.0, 52.0, 49.0]}}
    assert R.surge_error({"heads": run}, fine) == pytest.approx(expected)


def test_transient_copy_puts_its_options_before_end(tmp_path):
    model = tmp_path / "net.inp"
    model.write_text("[JUNCTIONS]\nJ 0 1\n[END]\n[VALVEMOTIONS]\n")
    copy = R.transient_copy(model, tmp_path, {"TIMESTEP": 0.01})
    text = copy.read_text()
    assert copy != model and model.read_text() == "[JUNCTIONS]\nJ 0 1\n[END]\n[VALVEMOTIONS]\n"
    assert text.index("[TRANSIENT]\nTIMESTEP 0.01\n") < text.upper().rindex("[END]")
