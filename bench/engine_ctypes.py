"""The engine library over ctypes: its record layouts, the 17 operations with their argument types, and the
double's control interface when the loaded library is the journaling test double."""

from __future__ import annotations

import ctypes
from ctypes import POINTER, c_char, c_char_p, c_double, c_float, c_int16, c_int32, c_ubyte, c_void_p

ENGINE_SONAME = "libVuzizi32.so"

# Field widths and counts of the engine's records.
VERSION_FIELD_LEN = 5
MODEL_PATH_LEN = 261
NODE_ID_SIGNIFICANT = 18
NODE_ID_FIELD_LEN = 19
CURVE_ID_FIELD_LEN = 49
UNIT_NAME_LEN = 7
UNIT_REF_LEN = 8
NODE_MAX_POINTS = 20
CURVE_AREA_LEN = 64

NODE_RECORD_SIZE = 424
CALC_PARAM_RECORD_SIZE = 256
CURVE_SELECT_RECORD_SIZE = 504
UNIT_RECORD_SIZE = 16


class UnitRecord(ctypes.Structure):
    _fields_ = [("name", c_char * UNIT_NAME_LEN), ("spare", c_ubyte), ("coefficient", c_double)]


class NodePoint(ctypes.Structure):
    _fields_ = [("time", c_double), ("value", c_double)]


class NodeRecord(ctypes.Structure):
    _fields_ = [
        ("id", c_char * NODE_ID_FIELD_LEN),
        ("reserved_19", c_ubyte * 21),
        ("elevation", c_double),
        ("demand", c_double),
        ("pressure", c_double),
        ("head", c_double),
        ("mode", c_int32),
        ("count", c_int32),
        ("points", NodePoint * NODE_MAX_POINTS),
        ("cleared_400", c_int32),
        ("reserved_404", c_ubyte * 20),
    ]


class CalcParamRecord(ctypes.Structure):
    """The horizon and storage factor, and what the stand-in engine publishes about the prepared run."""

    _fields_ = [
        ("time_step", c_double),
        ("total_reaches", c_int32),
        ("largest_adjustment", c_float),
        ("horizon", c_float),
        ("step_count", c_int32),
        ("storage_factor", c_int32),
        ("stored_points", c_int32),
        ("result_bytes", c_double),
        ("result_limit", c_double),
        ("fitting_factor", c_int32),
        ("lumped_pipes", c_int32),
        ("reserved_56", c_ubyte * 200),
    ]


class CurveSelectRecord(ctypes.Structure):
    _fields_ = [
        ("element_type", c_int16),
        ("attribute", c_int16),
        ("one", c_int32),
        ("id", c_char * CURVE_ID_FIELD_LEN),
        ("reserved_57", c_ubyte * 447),
    ]


for _record, _size in ((UnitRecord, UNIT_RECORD_SIZE), (NodeRecord, NODE_RECORD_SIZE),
                       (CalcParamRecord, CALC_PARAM_RECORD_SIZE), (CurveSelectRecord, CURVE_SELECT_RECORD_SIZE)):
    assert ctypes.sizeof(_record) == _size, f"{_record.__name__} is {ctypes.sizeof(_record)} bytes, not {_size}"

# Argument types of the operations; every one returns a 32-bit status.
OPERATION_ARGTYPES = {
    "OpenQorvaneAPI": [POINTER(c_int32)],
    "QorvaneInit": [],
    "GetNumeroVersion": [c_char_p],
    "OuvrirReseau": [c_char_p],
    "CloseQorvane": [],
    "GetUnitCourante": [POINTER(c_int16), POINTER(UnitRecord)],
    "GetUnitRef": [POINTER(c_int16), c_char_p],
    "IndiceNoeudQor": [c_char_p, POINTER(c_int32)],
    "GetNoeudQor": [POINTER(c_int32), POINTER(NodeRecord)],
    "SetNoeudQor": [POINTER(c_int32), c_char_p, POINTER(NodeRecord)],
    "InitCalculQor": [POINTER(c_int32)],
    "GetParamCalcQor": [POINTER(CalcParamRecord)],
    "SetParamCalcQor": [POINTER(CalcParamRecord)],
    "RunCalculQor": [],
    "SetInfoCourbe": [POINTER(CurveSelectRecord)],
    "GetNbPtUneCourbe": [POINTER(c_int32), POINTER(c_int32)],
    "GetUneCourbe": [POINTER(c_int32), c_void_p, c_void_p, POINTER(c_int32), POINTER(c_int32),
                     POINTER(c_ubyte * CURVE_AREA_LEN)],
}


def load_engine(path: str = ENGINE_SONAME) -> ctypes.CDLL:
    """The engine library with typed operations. By its soname this is the copy the module already loaded."""
    lib = ctypes.CDLL(path)
    for name, argtypes in OPERATION_ARGTYPES.items():
        function = getattr(lib, name)
        function.argtypes = argtypes
        function.restype = c_int32
    return lib


class DoubleControl:
    """The journaling double's control interface: clear it, program answers."""

    def __init__(self, lib: ctypes.CDLL):
        try:
            self._reset = lib.dbl_reset
        except AttributeError as exc:
            raise RuntimeError(f"{ENGINE_SONAME} loaded here is not the test double (no dbl_reset); "
                               "put the double's folder first in LD_LIBRARY_PATH") from exc
        self._reset.argtypes = []
        self._reset.restype = None
        self._set_return = lib.dbl_set_return
        self._set_return.argtypes = [c_char_p, c_int32]
        self._set_return.restype = None
        self._set_output = lib.dbl_set_output
        self._set_output.argtypes = [c_char_p, c_int32, c_void_p, c_int32]
        self._set_output.restype = None
        self._call_count = lib.dbl_call_count
        self._call_count.argtypes = []
        self._call_count.restype = c_int32

    def reset(self) -> None:
        self._reset()

    def returns(self, op: str, value: int) -> None:
        self._set_return(op.encode(), value)

    def writes(self, op: str, arg: int, data: bytes) -> None:
        self._set_output(op.encode(), arg, data, len(data))

    def call_count(self) -> int:
        return self._call_count()
