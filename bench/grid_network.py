"""Generator of square grid networks in the INP layout: side x side junctions joined to their right and lower
neighbours by pipes, fed at one corner by a reservoir, with a wave-speed and a transient-step section so that
every pipe is a whole number of reaches."""

from __future__ import annotations

import math
from dataclasses import dataclass
from pathlib import Path

SOURCE_ID = "R1"
FEED_PIPE_ID = "PFEED"


@dataclass(frozen=True)
class GridSpec:
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


def grid_lines(spec: GridSpec):
    """The lines of the model file, in order."""
    n = spec.side
    yield "[TITLE]"
    yield f"Grid of {n} x {n} junctions fed by one reservoir"
    yield ""
    yield "[JUNCTIONS]"
    yield ";ID  Elev  Demand"
    for row in range(n):
        for col in range(n):
            yield f" {junction_id(row, col)}  {spec.elevation}  {spec.demand}"
    yield ""
    yield "[RESERVOIRS]"
    yield ";ID  Head"
    yield f" {SOURCE_ID}  {spec.source_head}"
    yield ""
    yield "[PIPES]"
    yield ";ID  Node1  Node2  Length  Diameter  Roughness  MinorLoss  Status"
    yield (f" {FEED_PIPE_ID}  {SOURCE_ID}  {junction_id(0, 0)}  {spec.pipe_length}  {spec.feed_diameter}  "
           f"{spec.roughness}  0  Open")
    for row in range(n):
        for col in range(n):
            here = junction_id(row, col)
            if col + 1 < n:
                yield (f" H{row}_{col}  {here}  {junction_id(row, col + 1)}  {spec.pipe_length}  {spec.diameter}  "
                       f"{spec.roughness}  0  Open")
            if row + 1 < n:
                yield (f" V{row}_{col}  {here}  {junction_id(row + 1, col)}  {spec.pipe_length}  {spec.diameter}  "
                       f"{spec.roughness}  0  Open")
    yield ""
    yield "[OPTIONS]"
    yield " Units  LPS"
    yield " Headloss  H-W"
    yield ""
    yield "[WAVESPEEDS]"
    yield f" DEFAULT  {spec.wave_speed}"
    yield ""
    yield "[TRANSIENT]"
    yield f" TIMESTEP  {spec.time_step}"
    yield ""
    yield "[END]"


def write_grid(spec: GridSpec, path: Path) -> Path:
    path.parent.mkdir(parents=True, exist_ok=True)
    with path.open("w") as out:
        for line in grid_lines(spec):
            out.write(line + "\n")
    return path


def pipe_ids(spec: GridSpec) -> list[str]:
    n = spec.side
    ids = [FEED_PIPE_ID]
    for row in range(n):
        for col in range(n):
            if col + 1 < n:
                ids.append(f"H{row}_{col}")
            if row + 1 < n:
                ids.append(f"V{row}_{col}")
    return ids


def junction_ids(spec: GridSpec) -> list[str]:
    return [junction_id(row, col) for row in range(spec.side) for col in range(spec.side)]
