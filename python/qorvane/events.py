"""Events and run options set from Python, and the model file derived from the user's with them.

The engine reads valve motions, pump trips and the transient options from sections of the model file.
A model with events is loaded from a copy of the user's file in a private folder: the user's lines for
what Python sets are commented out (so every other line keeps its number) and the sections made from the
events are written before [END].
"""
from __future__ import annotations

import math
from collections.abc import Iterable, Mapping
from dataclasses import dataclass

import numpy as np
import numpy.typing as npt

from .errors import ConditionError

COMMENT_MARK = ";"
END_SECTION = "END"
VALVE_MOTIONS, PUMP_TRIPS, TRANSIENT = "VALVEMOTIONS", "PUMPTRIPS", "TRANSIENT"
DEMAND_LAWS = ("fixed", "orifice")
DEAD_END_VALVE_LAWS = ("loss", "flow")  # DEADENDVALVES: a valve to a dead-end demand by its loss, or its flow
DEMAND_CONDITION_LAWS = ("flow", "orifice")  # DEMANDCONDITIONS: a demand condition as flow, or scaling the law
TRAVEL_TIME_RULES = ("adjust", "interpolate")  # TRAVELTIMES: misfit pipes take whole reaches, or keep their own
# The [TRANSIENT] keywords that TransientOptions sets; a file's lines with them give way to it.
OPTION_KEYWORDS = ("TIMESTEP", "DEMANDS", "COLUMNSEPARATION", "VAPOURPRESSURE", "VAPORPRESSURE",
                   "WAVESPEEDTOLERANCE", "DEADENDVALVES", "DEMANDCONDITIONS", "TRAVELTIMES")


def _number(value: float) -> str:
    """A float as the engine reads it back exactly."""
    return repr(float(value))


def _one_of(name: str, value: str, choices: tuple[str, ...]) -> None:
    if value not in choices:
        raise ConditionError(f"{name} must be one of {', '.join(map(repr, choices))}, not {value!r}")


def _positive(name: str, value: float | None) -> float | None:
    if value is None:
        return None
    if isinstance(value, bool) or not isinstance(value, (int, float)) or not (0 < value < math.inf):
        raise ConditionError(f"{name} must be a positive finite number, not {value!r}")
    return float(value)


@dataclass(frozen=True)
class ValveMotion:
    """Openings of a valve (relative, 0 shut to 1 open) at times (s); linear between, held outside."""

    valve: str
    times: tuple[float, ...]
    openings: tuple[float, ...]

    @classmethod
    def checked(cls, valve: str, times: npt.ArrayLike, openings: npt.ArrayLike) -> ValveMotion:
        where = f"motion of valve {valve!r}"
        try:
            t = np.asarray(times, dtype=np.float64)
            o = np.asarray(openings, dtype=np.float64)
        except (TypeError, ValueError) as error:
            raise ConditionError(f"{where}: times and openings must be numbers ({error})") from None
        if t.ndim != 1 or o.ndim != 1 or len(t) != len(o) or len(t) == 0:
            raise ConditionError(f"{where}: times and openings must be one-dimensional, of one length, not empty "
                                 f"(shapes {t.shape} and {o.shape})")
        bad = np.flatnonzero(~np.isfinite(t) | (t < 0))
        if bad.size:
            raise ConditionError(f"{where}: time {float(t[bad[0]])!r} at point {bad[0]} is not a finite number of "
                                 "seconds from the start, at least 0")
        bad = np.flatnonzero(~((o >= 0) & (o <= 1)))
        if bad.size:
            raise ConditionError(f"{where}: opening {float(o[bad[0]])!r} at point {bad[0]} is not in [0, 1]")
        backwards = np.flatnonzero(np.diff(t) < 0)
        if backwards.size:
            i = int(backwards[0]) + 1
            raise ConditionError(f"{where}: times must not decrease, but point {i} ({t[i]:g} s) comes before "
                                 f"point {i - 1} ({t[i - 1]:g} s)")
        return cls(valve, tuple(map(float, t)), tuple(map(float, o)))

    def lines(self) -> list[str]:
        return [f" {self.valve} {_number(t)} {_number(o)}" for t, o in zip(self.times, self.openings)]


@dataclass(frozen=True)
class PumpTrip:
    """A pump's motor cut at `time` (s): it stops at once, or runs down with its inertia (kg m2), rated
    speed (rev/min) and efficiency (0 to 1) when those are given."""

    pump: str
    time: float
    inertia: float | None = None
    rated_speed: float | None = None
    efficiency: float | None = None

    @classmethod
    def checked(cls, pump: str, time: float, inertia: float | None, rated_speed: float | None,
                efficiency: float | None) -> PumpTrip:
        where = f"trip of pump {pump!r}"
        if isinstance(time, bool) or not isinstance(time, (int, float)) or not (0 <= time < math.inf):
            raise ConditionError(f"{where}: time must be a finite number of seconds from the start, at least 0, "
                                 f"not {time!r}")
        given = [v is not None for v in (inertia, rated_speed, efficiency)]
        if any(given) and not all(given):
            raise ConditionError(f"{where}: give inertia, rated_speed and efficiency together, or none")
        inertia = _positive(f"{where}: inertia", inertia)
        rated_speed = _positive(f"{where}: rated_speed", rated_speed)
        efficiency = _positive(f"{where}: efficiency", efficiency)
        if efficiency is not None and efficiency > 1:
            raise ConditionError(f"{where}: efficiency must be in (0, 1], not {efficiency!r}")
        return cls(pump, float(time), inertia, rated_speed, efficiency)

    def lines(self) -> list[str]:
        run_down = "" if self.inertia is None else \
            f" {_number(self.inertia)} {_number(self.rated_speed or 0)} {_number(self.efficiency or 0)}"
        return [f" {self.pump} {_number(self.time)}{run_down}"]


@dataclass(frozen=True)
class TransientOptions:
    """The run's options: None leaves the engine's default (see Model.transient)."""

    time_step: float | None = None
    demands: str = "fixed"
    column_separation: bool = False
    vapour_pressure: float | None = None
    wave_speed_tolerance: float | None = None
    dead_end_valves: str = "loss"
    demand_conditions: str = "flow"
    travel_times: str = "interpolate"

    @classmethod
    def checked(cls, time_step: float | None, demands: str, column_separation: bool,
                vapour_pressure: float | None, wave_speed_tolerance: float | None,
                dead_end_valves: str = "loss", demand_conditions: str = "flow",
                travel_times: str = "interpolate") -> TransientOptions:
        _one_of("demands", demands, DEMAND_LAWS)
        _one_of("dead_end_valves", dead_end_valves, DEAD_END_VALVE_LAWS)
        _one_of("demand_conditions", demand_conditions, DEMAND_CONDITION_LAWS)
        _one_of("travel_times", travel_times, TRAVEL_TIME_RULES)
        if not isinstance(column_separation, bool):
            raise ConditionError(f"column_separation must be True or False, not {column_separation!r}")
        return cls(_positive("time_step", time_step), demands, column_separation,
                   _positive("vapour_pressure", vapour_pressure),
                   _positive("wave_speed_tolerance", wave_speed_tolerance), dead_end_valves, demand_conditions,
                   travel_times)

    def lines(self) -> list[str]:
        lines = [f" DEMANDS {self.demands.upper()}", f" COLUMNSEPARATION {'YES' if self.column_separation else 'NO'}",
                 f" DEADENDVALVES {self.dead_end_valves.upper()}", f" DEMANDCONDITIONS {self.demand_conditions.upper()}",
                 f" TRAVELTIMES {self.travel_times.upper()}"]
        for keyword, value in (("TIMESTEP", self.time_step), ("VAPOURPRESSURE", self.vapour_pressure),
                               ("WAVESPEEDTOLERANCE", self.wave_speed_tolerance)):
            if value is not None:
                lines.append(f" {keyword} {_number(value)}")
        return lines


@dataclass(frozen=True)
class Events:
    """Everything set from Python that the model file carries."""

    valve_motions: Mapping[str, ValveMotion]
    pump_trips: Mapping[str, PumpTrip]
    options: TransientOptions | None

    @property
    def empty(self) -> bool:
        return not self.valve_motions and not self.pump_trips and self.options is None


def _section_name(content: str) -> str | None:
    if not content.startswith("["):
        return None
    close = content.find("]")
    return content[1:close].strip(" \t\r").upper() if close >= 0 else ""


def derived_text(original: str, events: Events) -> str:
    """The user's model text with the events in place of the file's own lines for the same things."""
    replaced: dict[str, set[str]] = {VALVE_MOTIONS: set(events.valve_motions), PUMP_TRIPS: set(events.pump_trips),
                                     TRANSIENT: set(OPTION_KEYWORDS) if events.options is not None else set()}
    added = _sections(events)
    out: list[str] = []
    section: str | None = None
    lines = original.split("\n")
    for number, line in enumerate(lines):
        content = line.split(COMMENT_MARK, 1)[0].strip(" \t\r")
        name = _section_name(content)
        if name == END_SECTION:
            return "\n".join(out + added + lines[number:])
        if name is not None:
            section = name
        elif content and section in replaced:
            first = content.replace("\t", " ").split()[0]
            key = first.upper() if section == TRANSIENT else first
            if key in replaced[section]:
                line = COMMENT_MARK + line
        out.append(line)
    return "\n".join(out + added) + "\n"


def _sections(events: Events) -> list[str]:
    added: list[str] = []
    parts: Iterable[tuple[str, list[str]]] = (
        (VALVE_MOTIONS, [line for m in events.valve_motions.values() for line in m.lines()]),
        (PUMP_TRIPS, [line for t in events.pump_trips.values() for line in t.lines()]),
        (TRANSIENT, events.options.lines() if events.options is not None else []))
    for name, lines in parts:
        if lines:
            added += [f"[{name}]", *lines]
    return added
