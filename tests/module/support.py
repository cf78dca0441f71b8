"""Test harness of the module: the journaling engine double over ctypes, and snippets run in fresh interpreters."""

from __future__ import annotations

import ctypes
import dataclasses
import json
import os
import struct
import subprocess
import sys
import tempfile
import textwrap
from pathlib import Path

# The engine operations the double answers, in the order of the engine's interface.
OPERATIONS = (
    "OpenQorvaneAPI", "QorvaneInit", "GetNumeroVersion", "OuvrirReseau", "CloseQorvane",
    "GetUnitCourante", "GetUnitRef", "IndiceNoeudQor", "GetNoeudQor", "SetNoeudQor",
    "InitCalculQor", "GetParamCalcQor", "SetParamCalcQor", "RunCalculQor", "SetInfoCourbe",
    "GetNbPtUneCourbe", "GetUneCourbe",
)

# On Windows the test folder holds the module with the double beside it, where the module's import
# finds it; elsewhere LD_LIBRARY_PATH puts the double first.
ON_WINDOWS = sys.platform == "win32"
ENGINE_SONAME = "Vuzizi32.dll" if ON_WINDOWS else "libVuzizi32.so"
DOUBLE_ENV = "QORVANE_DOUBLE"  # path of the double, when it can't be found among the loaded libraries
SUPPORT_DIR = Path(__file__).resolve().parent
FRESH_TIMEOUT_SECONDS = 120
NO_SUCH_ARGUMENT = -1


class DoubleNotLoaded(RuntimeError):
    """The engine library the module loaded is not the test double."""


@dataclasses.dataclass
class Call:
    """One journal entry: the operation, the bytes of each argument on entry and each argument's address."""

    op: str
    args: list[bytes]
    addrs: list[int]

    def i32(self, arg: int, offset: int = 0) -> int:
        return struct.unpack_from("<i", self.args[arg], offset)[0]

    def i16(self, arg: int, offset: int = 0) -> int:
        return struct.unpack_from("<h", self.args[arg], offset)[0]

    def f32(self, arg: int, offset: int = 0) -> float:
        return struct.unpack_from("<f", self.args[arg], offset)[0]

    def f64(self, arg: int, offset: int = 0) -> float:
        return struct.unpack_from("<d", self.args[arg], offset)[0]


def _mapped_engine_paths() -> list[str]:
    """Files named like the engine library that are mapped into this process (Linux only)."""
    try:
        maps = Path("/proc/self/maps").read_text()
    except OSError:
        return []
    paths = {line.split()[-1] for line in maps.splitlines() if line.rstrip().endswith(ENGINE_SONAME)}
    return sorted(paths)


def _has_control_interface(lib: ctypes.CDLL) -> bool:
    try:
        lib.dbl_reset
    except AttributeError:
        return False
    return True


def _find_double() -> ctypes.CDLL:
    """The double as the module loaded it: the module is imported first so that its engine is in the process."""
    import _pyQorvane  # noqa: F401  (loads the engine library the module is linked to)

    if ON_WINDOWS:
        # The engine DLL beside the module is the one its import bound; loading it again by path
        # gives that same module.
        lib = ctypes.CDLL(str(Path(_pyQorvane.__file__).with_name(ENGINE_SONAME)))
        if _has_control_interface(lib):
            return lib
        raise DoubleNotLoaded(f"the {ENGINE_SONAME} beside {_pyQorvane.__file__} is not the test double")
    lib = ctypes.CDLL(None)
    if _has_control_interface(lib):
        return lib
    try:
        lib = ctypes.CDLL(ENGINE_SONAME, mode=os.RTLD_NOLOAD)
    except OSError:
        lib = None
    if lib is not None and _has_control_interface(lib):
        return lib
    named = os.environ.get(DOUBLE_ENV)
    mapped_before = _mapped_engine_paths()
    # A named double is only of use if it is the very library the module loaded.
    if named and (not mapped_before or os.path.realpath(named) in map(os.path.realpath, mapped_before)):
        lib = ctypes.CDLL(named)
        if _has_control_interface(lib):
            return lib
    mapped = ", ".join(_mapped_engine_paths()) or "none found"
    raise DoubleNotLoaded(
        "the engine library loaded by _pyQorvane is not the test double (no dbl_reset); "
        f"engine libraries mapped: {mapped}; put the double's directory first in LD_LIBRARY_PATH "
        f"or name the double in {DOUBLE_ENV}"
    )


def _declare(lib: ctypes.CDLL) -> None:
    lib.dbl_reset.argtypes = []
    lib.dbl_reset.restype = None
    lib.dbl_set_return.argtypes = [ctypes.c_char_p, ctypes.c_int32]
    lib.dbl_set_return.restype = None
    lib.dbl_set_output.argtypes = [ctypes.c_char_p, ctypes.c_int32, ctypes.c_char_p, ctypes.c_int32]
    lib.dbl_set_output.restype = None
    lib.dbl_call_count.argtypes = []
    lib.dbl_call_count.restype = ctypes.c_int32
    lib.dbl_call_op.argtypes = [ctypes.c_int32]
    lib.dbl_call_op.restype = ctypes.c_char_p
    lib.dbl_call_arg.argtypes = [ctypes.c_int32, ctypes.c_int32, ctypes.c_void_p, ctypes.c_int32]
    lib.dbl_call_arg.restype = ctypes.c_int32
    lib.dbl_call_addr.argtypes = [ctypes.c_int32, ctypes.c_int32]
    lib.dbl_call_addr.restype = ctypes.c_uint64


def _operation(op: str) -> bytes:
    if op not in OPERATIONS:
        raise ValueError(f"not an engine operation: {op!r}")
    return op.encode("ascii")


class Double:
    """Programs the double's answers and reads its journal."""

    def __init__(self) -> None:
        self._lib = _find_double()
        _declare(self._lib)

    def reset(self) -> None:
        """Empties the journal and brings every answer back to its default."""
        self._lib.dbl_reset()

    def returns(self, op: str, value: int) -> None:
        """Value that `op` returns from now on."""
        self._lib.dbl_set_return(_operation(op), value)

    def writes(self, op: str, arg: int, data: bytes) -> None:
        """Bytes that `op` copies into its argument `arg` (0-based) at each call, at most the argument's size."""
        self._lib.dbl_set_output(_operation(op), arg, bytes(data), len(data))

    def throws(self, op: str, kind: int) -> None:
        """`op` throws a C++ exception after journaling each call: 1 std::bad_alloc, 2 std::runtime_error, 3 an int,
        4 std::overflow_error, 5 std::length_error."""
        set_throw = self._lib.dbl_set_throw
        set_throw.argtypes = [ctypes.c_char_p, ctypes.c_int32]
        set_throw.restype = None
        set_throw(_operation(op), kind)

    def silent(self, op: str, arg: int) -> None:
        """`op` writes nothing into its argument `arg` from now on."""
        self._lib.dbl_set_output(_operation(op), arg, None, -1)

    def _argument(self, call: int, arg: int) -> bytes | None:
        size = self._lib.dbl_call_arg(call, arg, None, 0)
        if size == NO_SUCH_ARGUMENT:
            return None
        buffer = ctypes.create_string_buffer(max(size, 1))
        self._lib.dbl_call_arg(call, arg, buffer, size)
        return buffer.raw[:size]

    def calls(self) -> list[Call]:
        journal = []
        for call in range(self._lib.dbl_call_count()):
            op = self._lib.dbl_call_op(call).decode("ascii")
            args, addrs = [], []
            while (data := self._argument(call, len(args))) is not None:
                addrs.append(self._lib.dbl_call_addr(call, len(args)))
                args.append(data)
            journal.append(Call(op, args, addrs))
        return journal

    def ops(self) -> list[str]:
        return [call.op for call in self.calls()]

    def calls_of(self, op: str) -> list[Call]:
        _operation(op)
        return [call for call in self.calls() if call.op == op]


@dataclasses.dataclass
class Fresh:
    """What a snippet run in a fresh interpreter left: its standard output and error, and its `result`."""

    out: str
    err: str
    value: object


_PRELUDE = """\
import json, sys
sys.path.insert(0, {support_dir!r})
import _pyQorvane as M
import numpy as np
from support import Double
dbl = Double()
"""

_EPILOGUE = """
if "result" in globals():
    with open({result_path!r}, "w") as _result_file:
        json.dump(result, _result_file)
"""


def fresh(code: str) -> Fresh:
    """Runs `code` in a new interpreter with this process's environment, the module and the double loaded.

    A crash or a nonzero exit fails the calling test with the snippet's output.
    """
    import pytest

    with tempfile.TemporaryDirectory(prefix="qorvane-fresh-") as scratch:
        result_path = os.path.join(scratch, "result.json")
        script_path = os.path.join(scratch, "snippet.py")
        script = (_PRELUDE.format(support_dir=str(SUPPORT_DIR)) + textwrap.dedent(code)
                  + _EPILOGUE.format(result_path=result_path))
        Path(script_path).write_text(script)
        completed = subprocess.run([sys.executable, script_path], capture_output=True, text=True,
                                   env=dict(os.environ), timeout=FRESH_TIMEOUT_SECONDS)
        if completed.returncode != 0:
            pytest.fail(f"fresh interpreter exited with {completed.returncode}\n"
                        f"--- snippet ---\n{textwrap.dedent(code)}\n"
                        f"--- stdout ---\n{completed.stdout}\n--- stderr ---\n{completed.stderr}",
                        pytrace=False)
        value = None
        if os.path.exists(result_path):
            value = json.loads(Path(result_path).read_text())
        return Fresh(completed.stdout, completed.stderr, value)


def padded(text: bytes, width: int) -> bytes:
    """`text` cut to `width` bytes or completed with blanks up to it: a fixed-length engine field."""
    return text[:width].ljust(width, b" ")


VARIABLE_NAMES = ("sz_sid", "sz_lid", "stat_qordll", "debug", "qor_typelt", "qor_attr", "qor_id", "vers_qordll")
TEXT_VARIABLES = ("qor_id", "vers_qordll")


def variables(module) -> dict:
    """The eight module variables as they stand: numbers as ints, the two text fields as their raw bytes."""
    values = {}
    for name in VARIABLE_NAMES:
        array = getattr(module.pyvuzizi, name)
        values[name] = array.tobytes() if name in TEXT_VARIABLES else int(array)
    return values
