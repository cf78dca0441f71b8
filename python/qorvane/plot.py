"""Network maps with matplotlib: links and nodes drawn from the model file's coordinates, nodes coloured by
a value of each (a peak pressure, a head at one time)."""
from __future__ import annotations

import math
from collections.abc import Mapping
from typing import TYPE_CHECKING

from .errors import UnknownElementError

if TYPE_CHECKING:
    from matplotlib.axes import Axes

    from .model import Model

LINK_COLOUR = "0.55"
NO_VALUE_COLOUR = "0.8"  # nodes without a value, or drawn without values
NODE_SIZE = 28
STORAGE_SIZE = 70  # reservoirs and tanks stand out from junctions
MARKER_OF_KIND = {"junction": "o", "reservoir": "s", "tank": "^"}
COLOUR_MAP = "viridis"


def network(model: Model, values: Mapping[str, float] | None = None, ax: Axes | None = None, *,
            label: str | None = None) -> Axes:
    """Draws the network on `ax` (a new figure's axes without it) and returns the axes.

    Links are lines between their end nodes through their [VERTICES]; nodes are dots (junctions), squares
    (reservoirs) and triangles (tanks) at their [COORDINATES]. With `values` ({node id: value}), nodes are
    coloured by their value on one colour scale, with a colour bar titled `label`; nodes without a finite
    value are grey. Nodes without coordinates, and links with an end without, are not drawn. Raises
    ValueError when the model has no coordinates, UnknownElementError for a value of an unknown node, and
    ImportError without matplotlib. Needs only the model file's data: a closed model can be drawn.
    """
    try:
        import matplotlib.pyplot as plt
    except ImportError:
        raise ImportError("qorvane.plot needs matplotlib: pip install matplotlib") from None
    elements = model.elements
    where = elements.coordinates
    if not where:
        raise ValueError(f"{model.path} has no [COORDINATES]: its network cannot be drawn")
    kind_of = {node: kind for kind in MARKER_OF_KIND for node in elements.ids[kind]}
    given = dict(values or {})
    unknown = [node for node in given if node not in kind_of]
    if unknown:
        raise UnknownElementError(f"{model.path} has no node {unknown[0]!r} (a value was given for it)")
    if ax is None:
        ax = plt.figure().add_subplot()

    for link, (start, end) in elements.link_ends.items():
        if start in where and end in where:
            points = [where[start], *elements.vertices.get(link, []), where[end]]
            ax.plot([x for x, _ in points], [y for _, y in points], color=LINK_COLOUR, linewidth=1, zorder=1)

    valued = {node: float(v) for node, v in given.items() if node in where and math.isfinite(float(v))}
    low, high = (min(valued.values()), max(valued.values())) if valued else (0.0, 1.0)
    scale = None
    for kind, marker in MARKER_OF_KIND.items():
        size = NODE_SIZE if kind == "junction" else STORAGE_SIZE
        plain = [n for n in elements.ids[kind] if n in where and n not in valued]
        coloured = [n for n in elements.ids[kind] if n in valued]
        if plain:
            ax.scatter([where[n][0] for n in plain], [where[n][1] for n in plain], s=size, marker=marker,
                       color=NO_VALUE_COLOUR, edgecolors="0.4", linewidths=0.5, zorder=2)
        if coloured:
            scale = ax.scatter([where[n][0] for n in coloured], [where[n][1] for n in coloured], s=size,
                               marker=marker, c=[valued[n] for n in coloured], cmap=COLOUR_MAP, vmin=low,
                               vmax=high, edgecolors="0.2", linewidths=0.5, zorder=3)
    if scale is not None:
        bar = ax.figure.colorbar(scale, ax=ax)
        if label:
            bar.set_label(label)
    ax.set_aspect("equal", adjustable="datalim")
    ax.set_xticks([])
    ax.set_yticks([])
    ax.set_title(model.path.name)
    return ax
