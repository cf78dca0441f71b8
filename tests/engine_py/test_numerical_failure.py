"""A run whose heads leave the physically possible range fails, naming the node and the time, and leaves
no results."""

import numpy as np


def test_head_beyond_the_physical_range_fails_the_run(engine, tmp_path, capfd):
    # Both ends of P1 have fixed heads, one imposed far beyond any head water can have.
    model = tmp_path / "two_heads.inp"
    model.write_text("[RESERVOIRS]\nR1 100\n[JUNCTIONS]\nJ1 20 5\n[PIPES]\nP1 R1 J1 1000 300 120\n"
                     "[OPTIONS]\nUNITS LPS\n")
    engine.init(1)
    assert engine.loadmodel(str(model)) == 0
    times = np.array([0.0, 1.0, 1000.0], np.float32)
    assert engine.set_col_node("J1", "CH", times, np.array([90.0, 1e30, 1e30], np.float32)) & 1
    assert engine.run_simulation(20.0, 1) % 2 == 0
    err = capfd.readouterr().err
    assert "node J1: head " in err and " m is outside the physically possible range (" in err, err
    assert " m) at t = " in err, err
    assert engine.size_ts("LINK", "P1", "Q") == 0
