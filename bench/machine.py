"""What the bench ran on: processor, cores, load, interpreter and numpy versions."""

from __future__ import annotations

import os
import platform
import subprocess
import sys

import numpy as np


def cpu_model() -> str:
    try:
        out = subprocess.run(["lscpu"], capture_output=True, text=True, timeout=10).stdout
    except (OSError, subprocess.SubprocessError):
        return platform.processor() or "unknown"
    for line in out.splitlines():
        if line.startswith("Model name:"):
            return line.split(":", 1)[1].strip()
    return "unknown"


def load_average() -> list[float] | None:
    try:
        return [round(x, 2) for x in os.getloadavg()]
    except OSError:
        return None


def describe() -> dict:
    return {
        "cpu": cpu_model(),
        "cores": os.cpu_count(),
        "python": sys.version.split()[0],
        "numpy": np.__version__,
        "platform": platform.platform(),
        "load_average_start": load_average(),
    }
