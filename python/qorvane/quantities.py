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

# Kinds of result curves that stand for the curves of other kinds: a link's are its pipe's, pump's or
# valve's, a reservoir's are its node's. They are read as the curves of the element's own kind.
@dataclass(frozen=True)
class Alias:
    targets: tuple[str, ...]  # kinds of KINDS that hold the curves
    quantities: tuple[str, ...]  # the quantities every or some of the targets have


ALIASES: dict[str, Alias] = {
    "link": Alias(("pipe", "pump", "valve"), ("flow", "headloss")),
    "reservoir": Alias(("node",), ("head", "outflow", "pressure")),
}
ALL_KINDS = (*KINDS, *ALIASES)

# The model's identifiers of each kind of result curve, from the kinds of elements read from the file.
NODE_KINDS = ("junction", "reservoir", "tank")
ELEMENT_KINDS_OF: dict[str, tuple[str, ...]] = {
    "node": NODE_KINDS, "pipe": ("pipe",), "pump": ("pump",), "valve": ("valve",), "tank": ("tank",),
    "relief_valve": ("relief_valve",), "surge_tank": ("surge_tank",), "air_vessel": ("air_vessel",),
    "link": ("pipe", "pump", "valve"), "reservoir": ("reservoir",),
}


def _unknown_kind(name: str) -> ResultsError:
    return ResultsError(f"no element kind {name!r}; the kinds are {', '.join(ALL_KINDS)}")


def kind_named(name: str) -> Kind:
    try:
        return KINDS[name]
    except KeyError:
        raise _unknown_kind(name) from None


def quantities_of(kind_name: str) -> tuple[str, ...]:
    if kind_name in ALIASES:
        return ALIASES[kind_name].quantities
    if kind_name in KINDS:
        return tuple(KINDS[kind_name].quantities)
    raise _unknown_kind(kind_name)


def quantity_of(kind_name: str, quantity: str) -> Quantity:
    """The quantity of that kind (for an alias, of the first kind it stands for that has it)."""
    names = quantities_of(kind_name)
    if quantity not in names:
        raise ResultsError(f"a {kind_name} has no quantity {quantity!r}; it has {', '.join(names)}")
    targets = ALIASES[kind_name].targets if kind_name in ALIASES else (kind_name,)
    return next(KINDS[t].quantities[quantity] for t in targets if quantity in KINDS[t].quantities)


# Unit codes of the values the package gives outside result curves (a node's, a pipe's, the model's).
ELEMENT_UNIT_CODES: dict[str, str] = {
    "time": "T", "elevation": "Z", "head": "CH", "pressure": "P", "demand": "CS", "area": "S", "volume": "VO",
    "length": "L", "diameter": "D", "flow": "Q", "velocity": "V", "roughness": "RH", "rotation_speed": "VR",
    "unit_headloss": "RL", "power": "W",
    "wave_speed": "V",  # length unit per second, the unit of a velocity
}


def _unit_codes_of_words() -> dict[str, str | None]:
    """Each quantity word's unit code; a word means one unit whatever the kind or element that has it."""
    codes: dict[str, str | None] = dict(ELEMENT_UNIT_CODES)
    for kind in KINDS.values():
        for word, quantity in kind.quantities.items():
            assert codes.get(word, quantity.unit_code) == quantity.unit_code, f"{word!r} has two units"
            codes[word] = quantity.unit_code
    return codes


# Every quantity word of the package and its unit code (None: a ratio).
UNIT_CODE_OF_WORD = _unit_codes_of_words()
