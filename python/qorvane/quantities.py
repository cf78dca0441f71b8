"""Element kinds and the quantities of their result curves, with the raw module's words and unit codes."""
from __future__ import annotations

from dataclasses import dataclass

from .errors import ResultsError

# Unit shown for ratios (a pump's relative speed, a valve's relative opening).
RATIO_UNIT = "-"


@dataclass(frozen=True)
class Quantity:
    attribute: str  # the attribute word of size_ts
    unit_code: str | None  # the unit code of get_unit_info; None for a ratio


FLOW = "Q"
HEAD = "CH"
PRESSURE = "P"
VELOCITY = "V"
VOLUME = "VO"

# Attribute words by attribute code: code 0 "Q", 1 "PC", 2 "P", 3 "DO".
_CODE_WORDS = ("Q", "PC", "P", "DO")


def _q(code: int, unit_code: str | None) -> Quantity:
    return Quantity(_CODE_WORDS[code], unit_code)


@dataclass(frozen=True)
class Kind:
    element_type: str  # the element-type word of size_ts
    quantities: dict[str, Quantity]


_STORAGE = {"inflow": _q(0, FLOW), "level": _q(1, HEAD), "volume": _q(2, VOLUME)}

KINDS: dict[str, Kind] = {
    # cavity_volume: the vapour cavity at the node, with column separation only.
    "node": Kind("NODE", {"head": _q(0, HEAD), "outflow": _q(1, FLOW), "pressure": _q(2, PRESSURE),
                          "cavity_volume": _q(3, VOLUME)}),
    "pipe": Kind("LINK", {"flow": _q(0, FLOW), "headloss": _q(1, HEAD), "velocity": _q(2, VELOCITY),
                          "end_flow": _q(3, FLOW)}),
    "pump": Kind("PUMP", {"flow": _q(0, FLOW), "head_gain": _q(1, HEAD), "speed": _q(2, None)}),
    "valve": Kind("VANNE", {"flow": _q(0, FLOW), "headloss": _q(1, HEAD), "opening": _q(2, None)}),
    "tank": Kind("TANK", _STORAGE),
    "relief_valve": Kind("ANB", {"discharge": _q(0, FLOW), "pressure": _q(1, PRESSURE)}),
    "surge_tank": Kind("CHEMINEE", _STORAGE),
    "air_vessel": Kind("BALLON", {"inflow": _q(0, FLOW), "gas_pressure": _q(1, PRESSURE),
                                  "gas_volume": _q(2, VOLUME)}),
}

# The model's identifiers of each kind of result curve, from the kinds of elements read from the file.
NODE_KINDS = ("junction", "reservoir", "tank")
ELEMENT_KINDS_OF: dict[str, tuple[str, ...]] = {
    "node": NODE_KINDS, "pipe": ("pipe",), "pump": ("pump",), "valve": ("valve",), "tank": ("tank",),
    "relief_valve": ("relief_valve",), "surge_tank": ("surge_tank",), "air_vessel": ("air_vessel",),
}


def kind_named(name: str) -> Kind:
    try:
        return KINDS[name]
    except KeyError:
        raise ResultsError(f"no element kind {name!r}; the kinds are {', '.join(KINDS)}") from None


def quantity_of(kind_name: str, quantity: str) -> Quantity:
    kind = kind_named(kind_name)
    try:
        return kind.quantities[quantity]
    except KeyError:
        raise ResultsError(f"a {kind_name} has no quantity {quantity!r}; it has {', '.join(kind.quantities)}") from None
