"""The one engine of the process, as the package uses it through the raw module.

The engine holds one model and one set of results at a time. Tokens tell a Model or Results object
whether the engine still holds what it was made from; a lock keeps the calls of one operation together
when threads share the engine; the engine's own messages (written to the process's standard error) are
caught around each operation so that exceptions can carry them.
"""
from __future__ import annotations

import contextlib
import os
import sys
import tempfile
import threading
from collections.abc import Iterator
from dataclasses import dataclass, field

import _pyQorvane as raw

# The engine writes its errors (not its warnings or traces) at this message level.
ENGINE_MESSAGE_LEVEL = 1
STANDARD_ERROR_FD = 2

lock = threading.RLock()


@dataclass
class EngineState:
    """What the engine holds: the model loaded by a Model (its token) and the results of its last run."""

    model_token: int = 0
    results_token: int = 0
    _counter: int = 0

    def next_token(self) -> int:
        self._counter += 1
        return self._counter


state = EngineState()


def is_open() -> bool:
    return bool(int(raw.pyvuzizi.stat_qordll) & 1)


def open_engine() -> str:
    """Opens the engine with its error messages on and the module's diagnostic lines off (exceptions say it all)."""
    version = raw.init(ENGINE_MESSAGE_LEVEL)
    raw.pyvuzizi.debug[()] = 0
    return version.decode("ascii", "replace")


@dataclass
class Messages:
    text: str = field(default="")


@contextlib.contextmanager
def engine_messages() -> Iterator[Messages]:
    """Catches what the engine writes to standard error during the block; yields it after the block."""
    caught = Messages()
    sys.stderr.flush()
    try:
        saved = os.dup(STANDARD_ERROR_FD)
    except OSError:  # no standard error to catch (a windowed interpreter)
        yield caught
        return
    with tempfile.TemporaryFile() as sink:
        os.dup2(sink.fileno(), STANDARD_ERROR_FD)
        try:
            yield caught
        finally:
            os.dup2(saved, STANDARD_ERROR_FD)
            os.close(saved)
            sink.seek(0)
            caught.text = sink.read().decode("utf-8", "replace").strip()


def encode_id(identifier: str) -> bytes:
    """The identifier's bytes as the model file holds them."""
    return identifier.encode("utf-8", "surrogateescape")
