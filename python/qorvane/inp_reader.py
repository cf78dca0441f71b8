"""A reader of the model file's element data the engine does not give back: identifiers and their lines,
pipe data, link ends, wave speeds, coordinates and vertices, as written (in the model's units).

Fields are split by the engine's own rule (inp_text). The reader runs on files the engine has just
loaded, so it checks only what it needs to read a value; a file changed since gives ModelFileError.
"""
from __future__ import annotations

import os
from collections.abc import Callable
from dataclasses import dataclass, field

from .errors import ModelFileError
from .inp_text import DataLine, ascii_upper, data_lines, decode, parse_number

# Section of the model file for each kind of element the package lists.
SECTION_OF_KIND: dict[str, str] = {
    "junction": "JUNCTIONS",
    "reservoir": "RESERVOIRS",
    "tank": "TANKS",
    "pipe": "PIPES",
    "pump": "PUMPS",
    "valve": "VALVES",
    "surge_tank": "SURGETANKS",
    "air_vessel": "AIRVESSELS",
    "relief_valve": "RELIEFVALVES",
}
KIND_OF_SECTION = {section: kind for kind, section in SECTION_OF_KIND.items()}
LINK_KINDS = ("pipe", "pump", "valve")
DEFAULT_WAVE_SPEED_NAME = "DEFAULT"  # the [WAVESPEEDS] line that sets every pipe not listed
# Fields of a [PIPES] line: id node1 node2 length diameter roughness ...
PIPE_LENGTH_FIELD, PIPE_DIAMETER_FIELD, PIPE_ROUGHNESS_FIELD = 3, 4, 5

Point = tuple[float, float]


@dataclass(frozen=True)
class PipeData:
    """A [PIPES] line's values as written: lengths in the model's length unit, diameter in its diameter unit."""

    start: str
    end: str
    length: float
    diameter: float
    roughness: float


@dataclass
class ModelElements:
    """Identifiers of each kind in file order with the line each was defined on, and element data."""

    ids: dict[str, list[str]] = field(default_factory=lambda: {kind: [] for kind in SECTION_OF_KIND})
    lines: dict[tuple[str, str], int] = field(default_factory=dict)
    pipes: dict[str, PipeData] = field(default_factory=dict)
    link_ends: dict[str, tuple[str, str]] = field(default_factory=dict)  # every link's start and end node
    wave_speeds: dict[str, float] = field(default_factory=dict)  # length unit per second, pipes listed
    default_wave_speed: float | None = None  # the DEFAULT line's, when there is one
    coordinates: dict[str, Point] = field(default_factory=dict)
    vertices: dict[str, list[Point]] = field(default_factory=dict)


class _Reader:
    def __init__(self, path: str | os.PathLike[str]) -> None:
        self.path = path
        self.elements = ModelElements()
        self.handlers: dict[str, Callable[[DataLine], None]] = {
            "PIPES": self._pipe, "PUMPS": self._link, "VALVES": self._link,
            "WAVESPEEDS": self._wave_speed, "COORDINATES": self._coordinates, "VERTICES": self._vertex,
        }

    def read(self, text: str) -> ModelElements:
        for line in data_lines(text):
            kind = KIND_OF_SECTION.get(line.section)
            if kind is not None:
                identifier = line.fields[0]
                self.elements.ids[kind].append(identifier)
                self.elements.lines[(kind, identifier)] = line.number
            handler = self.handlers.get(line.section)
            if handler is not None:
                handler(line)
        return self.elements

    def _field(self, line: DataLine, index: int, what: str) -> str:
        if index >= len(line.fields):
            raise ModelFileError(f"{self.path}:{line.number}: no {what} (the file has changed since it was loaded?)")
        return line.fields[index]

    def _number(self, line: DataLine, index: int, what: str) -> float:
        value = parse_number(self._field(line, index, what))
        if value is None:
            raise ModelFileError(f"{self.path}:{line.number}: {what} {line.fields[index]!r} is not a number "
                                 "(the file has changed since it was loaded?)")
        return value

    def _ends(self, line: DataLine) -> tuple[str, str]:
        ends = (self._field(line, 1, "start node"), self._field(line, 2, "end node"))
        self.elements.link_ends[line.fields[0]] = ends
        return ends

    def _link(self, line: DataLine) -> None:
        self._ends(line)

    def _pipe(self, line: DataLine) -> None:
        start, end = self._ends(line)
        self.elements.pipes[line.fields[0]] = PipeData(
            start, end, self._number(line, PIPE_LENGTH_FIELD, "length"),
            self._number(line, PIPE_DIAMETER_FIELD, "diameter"), self._number(line, PIPE_ROUGHNESS_FIELD, "roughness"))

    def _wave_speed(self, line: DataLine) -> None:
        speed = self._number(line, 1, "wave speed")
        if ascii_upper(line.fields[0]) == DEFAULT_WAVE_SPEED_NAME:
            self.elements.default_wave_speed = speed
        else:
            self.elements.wave_speeds[line.fields[0]] = speed  # a later line wins, as in the engine

    def _point(self, line: DataLine) -> Point:
        return self._number(line, 1, "x"), self._number(line, 2, "y")

    def _coordinates(self, line: DataLine) -> None:
        self.elements.coordinates[line.fields[0]] = self._point(line)

    def _vertex(self, line: DataLine) -> None:
        self.elements.vertices.setdefault(line.fields[0], []).append(self._point(line))


def read_elements(path: str | os.PathLike[str]) -> ModelElements:
    """Reads the element data of a model file; raises OSError when the file cannot be read, ModelFileError
    when a value the reader needs is missing or not a number."""
    with open(path, "rb") as file:
        text = decode(file.read())
    return _Reader(path).read(text)
