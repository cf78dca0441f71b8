"""Generator of square grid networks in the INP layout: side x side junctions joined to their right and lower
neighbours by pipes, fed at one corner by a reservoir, with a wave-speed and a transient-step section so that
every pipe is a whole number of reaches (and, on request, column separation)."""

from __future__ import annotations

import math
from dataclasses import dataclass
from pathlib import Path

SOURCE_ID = "R1"
FEED_PIPE_ID = "PFEED"


@dataclass(frozen=True)
class GridLayout:
    side: int
    pipe_length: float = 100.0      # m
    diameter: float = 200.0         # mm
    feed_diameter: float = 600.0    # mm, the pipe from the reservoir
    roughness: float = 120.0        # Hazen-Williams coefficient
    demand: float = 0.001           # L/s at every junction
    elevation: float = 0.0          # m
    source_head: float = 60.0       # m
    wave_speed: float = 1000.0      # m/s
    time_step: float = 0.01         # s
    column_separation: bool = False  # vapour cavities during the transient run
    transient_options: tuple[str, ...] = ()  # further [TRANSIENT] lines, e.g. "DEMANDS ORIFICE"

    @property
    def junctions(self) -> int:
        return self.side * self.side

    @property
    def pipes(self) -> int:
        """Grid pipes and the feed pipe."""
        return 2 * self.side * (self.side - 1) + 1

    @property
    def reaches_per_pipe(self) -> int:
        return round(self.pipe_length / (self.wave_speed * self.time_step))

    @property
    def reaches(self) -> int:
        return self.pipes * self.reaches_per_pipe


def side_for(junctions: int) -> int:
    """The side of the smallest square grid with at least `junctions` junctions."""
    return math.isqrt(junctions - 1) + 1 if junctions > 1 else 1


def junction_id(row: int, col: int) -> str:
    return f"J{row}_{col}"


def grid_lines(grid: GridLayout):
    """The lines of the model file, in order."""
    n = grid.side
    yield "[TITLE]"
    yield f"Grid of {n} x {n} junctions fed by one reservoir"
    yield ""
    yield "[JUNCTIONS]"
    yield ";ID  Elev  Demand"
    for row in range(n):
        for col in range(n):
            yield f" {junction_id(row, col)}  {grid.elevation}  {grid.demand}"
    yield ""
    yield "[RESERVOIRS]"
    yield ";ID  Head"
    yield f" {SOURCE_ID}  {grid.source_head}"
    yield ""
    yield "[PIPES]"
    yield ";ID  Node1  Node2  Length  Diameter  Roughness  MinorLoss  Status"
    yield (f" {FEED_PIPE_ID}  {SOURCE_ID}  {junction_id(0, 0)}  {grid.pipe_length}  {grid.feed_diameter}  "
           f"{grid.roughness}  0  Open")
    for row in range(n):
        for col in range(n):
            here = junction_id(row, col)
            if col + 1 < n:
                yield (f" H{row}_{col}  {here}  {junction_id(row, col + 1)}  {grid.pipe_length}  {grid.diameter}  "
                       f"{grid.roughness}  0  Open")
            if row + 1 < n:
                yield (f" V{row}_{col}  {here}  {junction_id(row + 1, col)}  {grid.pipe_length}  {grid.diameter}  "
                       f"{grid.roughness}  0  Open")
    yield ""
    yield "[OPTIONS]"
    yield " Units  LPS"
    yield " Headloss  H-W"
    yield ""
    yield "[WAVESPEEDS]"
    yield f" DEFAULT  {grid.wave_speed}"
    yield ""
    yield "[TRANSIENT]"
    yield f" TIMESTEP  {grid.time_step}"
    if grid.column_separation:
        yield " COLUMNSEPARATION  YES"
    for option in grid.transient_options:
        yield f" {option}"
    yield ""
    yield "[END]"


def write_grid(grid: GridLayout, path: Path) -> Path:
    path.parent.mkdir(parents=True, exist_ok=True)
    with path.open("w") as out:
        for line in grid_lines(grid):
            out.write(line + "\n")
    return path


def pipe_ids(grid: GridLayout) -> list[str]:
    n = grid.side
    ids = [FEED_PIPE_ID]
    for row in range(n):
        for col in range(n):
            if col + 1 < n:
                ids.append(f"H{row}_{col}")
            if row + 1 < n:
                ids.append(f"V{row}_{col}")
    return ids


def junction_ids(grid: GridLayout) -> list[str]:
    return [junction_id(row, col) for row in range(grid.side) for col in range(grid.side)]
