"""The generated grid networks: sizes, references between elements, connectivity, whole reaches."""

from collections import defaultdict, deque

import pytest

import grid_network as G


def sections(text: str) -> dict[str, list[list[str]]]:
    """Data lines of each section, split into fields (comments and blank lines left out)."""
    found: dict[str, list[list[str]]] = defaultdict(list)
    current = None
    for line in text.splitlines():
        line = line.split(";", 1)[0].strip()
        if not line:
            continue
        if line.startswith("["):
            current = line.strip("[]").upper()
            found[current]
            continue
        found[current].append(line.split())
    return found


@pytest.mark.parametrize("side", [1, 2, 3, 7])
def test_counts_and_references(side):
    grid = G.GridLayout(side=side)
    s = sections("\n".join(G.grid_lines(grid)))
    junctions = [row[0] for row in s["JUNCTIONS"]]
    pipes = s["PIPES"]
    assert len(junctions) == grid.junctions == side * side
    assert len(pipes) == grid.pipes
    assert [p[0] for p in pipes] == G.pipe_ids(grid)
    assert junctions == G.junction_ids(grid)
    nodes = set(junctions) | {row[0] for row in s["RESERVOIRS"]}
    ids = [p[0] for p in pipes]
    assert len(set(ids)) == len(ids)
    for pipe in pipes:
        assert pipe[1] in nodes and pipe[2] in nodes and pipe[1] != pipe[2]
    assert "END" in s


@pytest.mark.parametrize("side", [1, 4, 9])
def test_every_junction_is_fed_by_the_reservoir(side):
    grid = G.GridLayout(side=side)
    s = sections("\n".join(G.grid_lines(grid)))
    neighbours = defaultdict(set)
    for _, a, b, *_ in s["PIPES"]:
        neighbours[a].add(b)
        neighbours[b].add(a)
    reached, queue = {G.SOURCE_ID}, deque([G.SOURCE_ID])
    while queue:
        for other in neighbours[queue.popleft()] - reached:
            reached.add(other)
            queue.append(other)
    assert reached == set(G.junction_ids(grid)) | {G.SOURCE_ID}


@pytest.mark.parametrize("junctions, side", [(1, 1), (2, 2), (4, 2), (5, 3), (1_000, 32), (10_000, 100),
                                             (100_000, 317)])
def test_side_for_gives_the_smallest_square_holding_the_junctions(junctions, side):
    assert G.side_for(junctions) == side
    assert side * side >= junctions > (side - 1) ** 2 or junctions == 1


@pytest.mark.parametrize("length, speed, step, reaches", [(100.0, 1000.0, 0.01, 10), (250.0, 1250.0, 0.02, 10),
                                                          (100.0, 1000.0, 0.1, 1)])
def test_pipe_is_a_whole_number_of_reaches(length, speed, step, reaches):
    grid = G.GridLayout(side=3, pipe_length=length, wave_speed=speed, time_step=step)
    assert grid.reaches_per_pipe == reaches
    assert grid.reaches == reaches * grid.pipes
    s = sections("\n".join(G.grid_lines(grid)))
    assert s["WAVESPEEDS"] == [["DEFAULT", str(speed)]]
    assert s["TRANSIENT"] == [["TIMESTEP", str(step)]]
    assert {float(p[3]) for p in s["PIPES"]} == {length}


def test_written_file_holds_the_lines(tmp_path):
    grid = G.GridLayout(side=3)
    path = G.write_grid(grid, tmp_path / "nested" / "grid.inp")
    assert path.read_text().splitlines() == list(G.grid_lines(grid))


def test_transient_options_are_written_in_their_section():
    grid = G.GridLayout(side=2, transient_options=("DEMANDS ORIFICE",))
    assert ["DEMANDS", "ORIFICE"] in sections("\n".join(G.grid_lines(grid)))["TRANSIENT"]
