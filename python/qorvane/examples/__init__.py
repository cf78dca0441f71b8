"""Example networks bundled with the package."""
from __future__ import annotations

from pathlib import Path

NETWORKS = Path(__file__).resolve().parent / "networks"
SUFFIX = ".inp"


def names() -> list[str]:
    return sorted(p.stem for p in NETWORKS.glob("*" + SUFFIX))


def path(name: str) -> Path:
    """The model file of the bundled example network `name` (for example "pumping_main")."""
    file = NETWORKS / (name + SUFFIX)
    if not file.is_file():
        raise LookupError(f"no example network {name!r}; there are: {', '.join(names())}")
    return file
