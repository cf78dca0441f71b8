"""Junction-pressure controls at time 0 that undo each other: the load ends, warning at the first control that
still acts."""

PAIR = "LINK P2 CLOSED IF NODE J ABOVE 97\nLINK P2 OPEN IF NODE J BELOW 97\n"  # J: 98.8 m open, 95.7 m closed


def test_controls_that_do_not_settle_load_with_a_warning(engine, tmp_path, capfd):
    model = tmp_path / "flip.inp"
    model.write_text("[TANKS]\nT 90 10 0 20 10\n[JUNCTIONS]\nJ 0 10\n[PIPES]\nP1 T J 1000 150 100\nP2 T J 1000 150 100\n"
                     "[OPTIONS]\nUNITS LPS\n[CONTROLS]\n" + PAIR * 1000)
    engine.init(2)
    assert engine.loadmodel(str(model)) == 0
    err = capfd.readouterr().err
    assert f"{model}:11: warning: the junction-pressure controls do not settle at time 0 within 10 rounds" in err, err
