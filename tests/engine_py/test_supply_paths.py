"""Junctions that links held closed, or closed by the steady state, cut off from every reservoir and tank, on the
bundled pumping main."""

from pathlib import Path

import pytest

PUMPING_MAIN = Path(__file__).resolve().parents[2] / "python" / "qorvane" / "examples" / "networks" / "pumping_main.inp"
P4_OPEN = " P4   J4     J5     600        300           130               0          OPEN"


def variant(tmp_path, extra="", replace=("", "")):
    text = PUMPING_MAIN.read_text().replace(*replace).replace("[END]", extra + "\n[END]")
    path = tmp_path / "variant.inp"
    path.write_text(text)
    return str(path)


@pytest.mark.parametrize("extra, replace, cut_off", [
    ("[STATUS]\nP3 CLOSED", ("", ""), ["J4", "J5"]),
    ("", (P4_OPEN, P4_OPEN.replace("OPEN", "CLOSED")), ["J5"]),
    ("[STATUS]\nPU1 CLOSED", ("", ""), ["J2", "J3", "J4", "J5"]),
    ("[CONTROLS]\nLINK P3 CLOSED AT TIME 0", ("", ""), ["J4", "J5"]),
    # Decided in the solution: the pressure at J3 is above 1 m.
    ("[CONTROLS]\nLINK P3 CLOSED IF NODE J3 ABOVE 1", ("", ""), ["J4", "J5"]),
    # Closed by the solution: a check valve against the flow, a pressure-sustaining valve that
    # cannot hold its setting.
    ("", (P4_OPEN, P4_OPEN.replace("J4     J5", "J5     J4").replace("OPEN", "CV")), ["J5"]),
    ("[VALVES]\nV4 J4 J5 300 PSV 500", (P4_OPEN, ""), ["J5"]),
])
def test_cut_off_demand_fails_the_load_naming_the_junctions(engine, tmp_path, capfd, extra, replace, cut_off):
    engine.init(1)
    assert engine.loadmodel(variant(tmp_path, extra, replace)) == 25
    err = capfd.readouterr().err
    named = sorted(j for j in ("J0", "J1", "J2", "J3", "J4", "J5") if f"junction '{j}' has a demand" in err)
    assert named == cut_off, err


@pytest.mark.parametrize("extra, replace", [
    ("[STATUS]\nP3 CLOSED\n[DEMANDS]\nJ4 0\nJ5 0", ("", "")),  # cut off without demand
    ("", (P4_OPEN, P4_OPEN.replace("OPEN", "CV"))),  # a check valve may open
    ("[CONTROLS]\nLINK P3 CLOSED AT TIME 0\nLINK P3 OPEN AT TIME 0", ("", "")),  # the later control wins
    # A pressure control opens the closed feed at time 0, as AT TIME 0 would.
    ("[STATUS]\nP3 CLOSED\n[CONTROLS]\nLINK P3 OPEN IF NODE J4 BELOW 10", ("", "")),
])
def test_sound_networks_load_and_run(engine, tmp_path, extra, replace):
    assert engine.loadmodel(variant(tmp_path, extra, replace)) == 0
    heads = [engine.get_node(j)[3] for j in ("J4", "J5")]
    if "J4 0" in extra:
        # A cut-off group without demand rests at the highest elevation among its junctions.
        assert heads == [110.0, 110.0]
    else:
        assert all(100.0 < h < 200.0 for h in heads), heads
    assert engine.run_simulation(1.0, 1) & 1
