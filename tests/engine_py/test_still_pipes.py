"""A pipe without steady flow takes its friction from its roughness, not from round-off.

On Net3, pipe 101 (14,200 ft) leads to junction 10, a dead end behind the closed pump 10: its steady
flow is round-off. Stopping junction 101's demand sends a wave into it; at the dead end the wave
doubles, less what friction takes over the pipe. A friction coefficient taken from the round-off flow
(about 10^4 times too large) damps it away before it gets there.
"""

from pathlib import Path

import numpy as np

NET3 = Path(__file__).resolve().parent.parent / "engine" / "data" / "Net3.inp"
DEMAND_101 = 189.95  # GPM
STEP = "[TRANSIENT]\nTIMESTEP 0.01\n"  # s: the long pipe 101 keeps its wave speed within 1 %


def head_rise(engine, node):
    count = engine.size_ts("NODE", node, "CH")
    _, heads = engine.result_ts(count)
    heads = np.asarray(heads)
    return heads.max() - heads[0]


def test_dead_end_pipe_behind_a_closed_pump_carries_the_wave_to_its_end(engine, tmp_path):
    model = tmp_path / "net3.inp"
    model.write_text(NET3.read_text().replace("[END]", "") + STEP)
    assert engine.loadmodel(str(model)) == 0
    times = np.array([0.0, 1.0, 1.1, 100.0], np.float32)
    demand = np.array([DEMAND_101, DEMAND_101, 0.0, 0.0], np.float32)
    assert engine.set_col_node("101", "CS", times, demand) & 1
    assert engine.run_simulation(15.0, 10.0) & 1
    assert head_rise(engine, "10") > head_rise(engine, "101") > 10.0
