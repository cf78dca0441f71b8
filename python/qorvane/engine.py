"""The one engine of the process, as the package uses it through the raw module.

The engine holds one model and one set of results at a time. Tokens tell a Model or Results object
whether the engine still holds what it was made from; a lock keeps the calls of one operation together
when threads share the engine. The engine writes its messages to the process's standard error: they are
caught around each raw call (only there, so that other threads' output is not taken with them) and sorted
into the engine's lines, which exceptions carry, its trace lines, which give a run's plan, and anything
else, which goes on to standard error at once.
"""
from __future__ import annotations

import contextlib
import os
import re
import sys
import tempfile
import threading
from collections.abc import Callable, Iterator
from dataclasses import dataclass, field
from typing import IO, TypeVar

import _pyQorvane as raw

# The engine is opened at its trace level: errors, warnings, and the traces that describe a run's plan.
ENGINE_MESSAGE_LEVEL = 3
STANDARD_ERROR_FD = 2
# Every line of the engine starts so, then an optional "file:line: ", then its kind and text.
ENGINE_LINE = re.compile(r"^vuzizi: (?:.*?: )??(?P<kind>error \d+|warning|trace): (?P<text>.*)$")
TRACE_KIND = "trace"

lock = threading.RLock()
T = TypeVar("T")


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
    """Opens the engine at its trace level, with the module's diagnostic lines off (exceptions say it all)."""
    version = raw.init(ENGINE_MESSAGE_LEVEL)
    raw.pyvuzizi.debug[()] = 0
    return version.decode("ascii", "replace")


@dataclass
class Messages:
    """What the engine wrote during one operation: its error and warning lines, and its trace texts."""

    lines: list[str] = field(default_factory=list)
    traces: list[str] = field(default_factory=list)
    _sink: IO[bytes] | None = None

    @property
    def text(self) -> str:
        return "\n".join(self.lines)

    def call(self, function: Callable[..., T], *args: object) -> T:
        """Calls a raw function with the process's standard error caught for the length of the call.

        The call holds the interpreter lock, so no other Python thread writes while it runs; what is caught
        that is not an engine line (a thread outside Python, or one caught at the instant the call starts)
        is written on to standard error at once, in its order."""
        if self._sink is None:
            return function(*args)
        _flush_standard_error()
        saved = os.dup(STANDARD_ERROR_FD)
        start = self._sink.seek(0, os.SEEK_END)
        os.dup2(self._sink.fileno(), STANDARD_ERROR_FD)
        try:
            return function(*args)
        finally:
            os.dup2(saved, STANDARD_ERROR_FD)
            os.close(saved)
            self._sink.seek(start)
            self._sort(self._sink.read().decode("utf-8", "replace"))

    def _sort(self, text: str) -> None:
        others: list[str] = []
        for line in text.splitlines():
            match = ENGINE_LINE.match(line)
            if match is None:
                others.append(line)
            elif match["kind"] == TRACE_KIND:
                self.traces.append(match["text"])
            else:
                self.lines.append(line)
        if others:
            pass_on("\n".join(others))


def _flush_standard_error() -> None:
    if sys.stderr is not None:
        with contextlib.suppress(Exception):
            sys.stderr.flush()


def pass_on(text: str) -> None:
    """Writes text on to standard error: Python's, or the process's when Python has none (pythonw)."""
    if not text:
        return
    if sys.stderr is not None:
        print(text, file=sys.stderr)
        return
    with contextlib.suppress(OSError):
        os.write(STANDARD_ERROR_FD, (text + "\n").encode("utf-8", "replace"))


@contextlib.contextmanager
def engine_messages() -> Iterator[Messages]:
    """Catches what the engine writes during the raw calls made through the yielded Messages' call()."""
    try:
        os.fstat(STANDARD_ERROR_FD)
    except OSError:  # no standard error to catch (a windowed interpreter): the calls run as they are
        yield Messages()
        return
    with tempfile.TemporaryFile() as sink:
        yield Messages(_sink=sink)


def encode_id(identifier: str) -> bytes:
    """The identifier's bytes as the model file holds them."""
    return identifier.encode("utf-8", "surrogateescape")
