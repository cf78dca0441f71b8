"""A small reader of the element sections of a model file: identifiers and the lines they are on.

It splits the text as the engine does: a `;` starts a comment, tokens are separated by blanks and tabs,
section names are case-insensitive, reading stops at [END]. Only the first token of a data line is kept.
"""
from __future__ import annotations

import os
from dataclasses import dataclass, field

UTF8_MARK = "\ufeff"
COMMENT_MARK = ";"
END_SECTION = "END"

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


@dataclass
class ModelElements:
    """Identifiers of each kind in file order, and the line each was defined on."""

    ids: dict[str, list[str]] = field(default_factory=lambda: {kind: [] for kind in SECTION_OF_KIND})
    lines: dict[tuple[str, str], int] = field(default_factory=dict)


def read_elements(path: str | os.PathLike[str]) -> ModelElements:
    """Reads the identifiers of the element sections; raises OSError when the file cannot be read."""
    with open(path, "rb") as file:
        text = file.read().decode("utf-8", "surrogateescape")
    text = text.removeprefix(UTF8_MARK)
    elements = ModelElements()
    kind: str | None = None
    for number, line in enumerate(text.split("\n"), start=1):
        content = line.split(COMMENT_MARK, 1)[0].strip(" \t\r")
        if not content:
            continue
        if content.startswith("["):
            close = content.find("]")
            name = content[1:close].strip(" \t\r").upper() if close >= 0 else ""
            if name == END_SECTION:
                break
            kind = KIND_OF_SECTION.get(name)
            continue
        if kind is not None:
            identifier = content.replace("\t", " ").replace("\r", " ").split()[0]
            elements.ids[kind].append(identifier)
            elements.lines[(kind, identifier)] = number
    return elements
