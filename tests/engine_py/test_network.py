"""Loading models and reading nodes and units through the module, over the stand-in engine."""

import numpy as np
import pytest

from conftest import DATA

HW_CONSTANT, HW_FLOW_EXP, HW_DIAMETER_EXP = 10.6668, 1.852, 4.871


@pytest.mark.parametrize("name, node, elevation", [("Net1.inp", b"10", 710.0), ("Net2.inp", b"1", 50.0),
                                                   ("Net3.inp", b"Lake", 167.0)])
def test_public_networks_load_and_give_their_nodes(engine, name, node, elevation):
    assert engine.loadmodel(str(DATA / name)) == 0
    idx, fz, fcs, fch = engine.get_node(node)
    assert idx >= 1
    assert fz == pytest.approx(elevation)
    assert np.isfinite([fcs, fch]).all()


def test_node_values_are_the_steady_state_in_model_units(engine, si_model):
    assert engine.loadmodel(str(si_model)) == 0
    idx, fz, fcs, fch = engine.get_node("J1")
    # P1 carries both demands, 15 L/s; Hazen-Williams loss from the 100 m reservoir.
    r = HW_CONSTANT * 1000 / (120 ** HW_FLOW_EXP * 0.3 ** HW_DIAMETER_EXP)
    assert (idx, fz, fcs) == (2, 20.0, 5.0)
    assert fch == pytest.approx(100 - r * 0.015 ** HW_FLOW_EXP, abs=1e-3)


def test_unknown_node_gives_a_negative_index(engine, si_model):
    assert engine.loadmodel(str(si_model)) == 0
    assert engine.get_node("j1")[0] < 0
    assert engine.get_node("J1  ")[0] == 2


@pytest.mark.parametrize("code, current, reference, coefficient", [
    ("Q", b"LPS", b"m3/s", 1000.0),
    ("CS", b"LPS", b"m3/s", 1000.0),
    ("P", b"kPa", b"m", 9.80665),
    ("D", b"mm", b"m", 1000.0),
    ("Z", b"m", b"m", 1.0),
    ("W", b"kW", b"W", 1e-3),
])
def test_units_follow_the_model(engine, si_model, code, current, reference, coefficient):
    assert engine.loadmodel(str(si_model)) == 0
    coef, ncur, nref = engine.get_unit_info(code)
    assert (ncur, nref) == (current, reference)
    assert coef == pytest.approx(coefficient, rel=1e-6)


def test_failed_load_reports_and_keeps_the_network(engine, si_model, tmp_path, capfd):
    broken = tmp_path / "broken.inp"
    broken.write_text(si_model.read_text() + "[PIPES]\nP9 J1 NOWHERE 1 1 1\n")
    engine.init(1)
    assert engine.loadmodel(str(si_model)) == 0
    assert engine.loadmodel(str(broken)) == 17
    assert engine.loadmodel(str(tmp_path / "missing.inp")) == 3
    err = capfd.readouterr().err
    assert "broken.inp:13: error 17" in err
    assert "NOWHERE" in err
    assert engine.get_node("J2")[0] == 3


def test_boundary_conditions_are_checked(engine, si_model):
    assert engine.loadmodel(str(si_model)) == 0
    times = np.array([0.0, 5.0, 10.0], dtype=np.float32)
    values = np.array([90.0, 95.0, 90.0], dtype=np.float32)
    assert engine.set_col_node("J2", "CH", times, values) & 1
    assert not engine.set_col_node("J2", "CH", times[::-1].copy(), values) & 1
    assert not engine.set_col_node("NOPE", "CH", times, values) & 1
    assert not engine.set_col_node("R1", "CS", times, values) & 1


def test_engine_loads_again_after_quit(engine, si_model):
    assert engine.loadmodel(str(si_model)) == 0
    engine.quit()
    assert engine.get_node("J1")[0] < 0
    assert engine.loadmodel(str(si_model)) == 0  # opens the engine again by itself
    assert engine.get_node("J1")[0] == 2
