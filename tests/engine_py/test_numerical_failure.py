"""A run whose flows stop being finite fails, naming the node and the time, and leaves no results."""

import numpy as np


def test_non_finite_flow_beside_fixed_heads_fails_the_run(engine, tmp_path, capfd):
    # Both ends of P1 have fixed heads, so only the flow between them can grow without bound.
    model = tmp_path / "two_heads.inp"
    model.write_text("[RESERVOIRS]\nR1 100\n[JUNCTIONS]\nJ1 20 5\n[PIPES]\nP1 R1 J1 1000 300 120\n"
                     "[OPTIONS]\nUNITS LPS\n")
    engine.init(1)
    assert engine.loadmodel(str(model)) == 0
    times = np.array([0.0, 1.0, 1000.0], np.float32)
    assert engine.set_col_node("J1", "CH", times, np.array([90.0, 1e30, 1e30], np.float32)) & 1
    assert engine.run_simulation(20.0, 1) % 2 == 0
    err = capfd.readouterr().err
    assert "node J1: head or flow of the pipe from node R1 to node J1 is not finite at t = " in err, err
    assert engine.size_ts("LINK", "P1", "Q") == 0
