"""The nine functions as a user would write them with ctypes alone, calling the engine operations directly
with byref arguments: the reference that shows what the module saves its users."""

from __future__ import annotations

import ctypes
from ctypes import byref, c_int16, c_int32, c_float, c_ubyte

import numpy as np

import engine_ctypes as E

SILENT_LEVEL = -1
UNIT_CODES = "T Z CHP CSS VOL D Q V RHVRRLW "
UNIT_CODE_WIDTH = 2
MODES = {"CS": 1, "CH": 0, "P": 2}
ELEMENT_TYPES = {"LINK": 0, "ARC": 0, "PUMP": 10, "POMPE": 10, "VANNE": 25, "NODE": 40, "NOEUD": 40,
                 "TANK": 30, "RESERVOIR": 30}
ATTRIBUTES = {"CH": 0, "Q": 0, "PC": 1, "NC": 1, "NV": 1, "P": 2, "VR": 2, "VO": 2, "DO": 3}
VERSION_LEN = 4


def _identifier_field(text: str, width: int) -> bytes:
    """Identifier, a zero byte, then blanks up to the field width."""
    raw = text.encode("ascii")[: width - 1]
    return (raw + b"\0").ljust(width, b" ")


class CtypesUser:
    """Keeps its records between calls, as the module's session does."""

    def __init__(self, lib: ctypes.CDLL):
        self.lib = lib
        self.node = E.NodeRecord()
        self.boundary = E.NodeRecord()
        self.params = E.CalcParamRecord()
        self.selection = E.CurveSelectRecord()
        self.unit = E.UnitRecord()
        self.unit_ref = ctypes.create_string_buffer(E.UNIT_REF_LEN)
        self.area = (c_ubyte * E.CURVE_AREA_LEN)()
        self.version = ctypes.create_string_buffer(E.VERSION_FIELD_LEN)

    def init(self, debuglevel):
        level = c_int32(debuglevel if debuglevel > 0 else SILENT_LEVEL)
        self.lib.OpenQorvaneAPI(byref(level))
        self.lib.QorvaneInit()
        self.lib.GetNumeroVersion(self.version)
        return self.version.raw[:VERSION_LEN].rstrip(b" ")

    def quit(self):
        self.lib.CloseQorvane()

    def loadmodel(self, modelname):
        path = modelname.encode().ljust(E.MODEL_PATH_LEN, b" ")[: E.MODEL_PATH_LEN] + b"\0"
        return self.lib.OuvrirReseau(path)

    def get_unit_info(self, sattr):
        code = sattr.ljust(UNIT_CODE_WIDTH)[:UNIT_CODE_WIDTH]
        index = UNIT_CODES.find(code)
        if index < 0 or index % UNIT_CODE_WIDTH:
            return 1.0, b"", b""
        position = c_int16(index // UNIT_CODE_WIDTH + 1)
        self.lib.GetUnitCourante(byref(position), byref(self.unit))
        self.lib.GetUnitRef(byref(position), self.unit_ref)
        return (float(c_float(self.unit.coefficient).value), self.unit.name[:6].rstrip(b" "),
                self.unit_ref.raw[:6].rstrip(b" "))

    def get_node(self, eid):
        field = _identifier_field(eid, E.NODE_ID_FIELD_LEN)
        zero = c_int32(0)
        idx = self.lib.IndiceNoeudQor(field, byref(zero))
        if idx < 0:
            return idx, 0.0, 0.0, 0.0
        self.lib.GetNoeudQor(byref(c_int32(idx)), byref(self.node))
        node = self.node
        return (idx, float(c_float(node.elevation).value), float(c_float(node.demand).value),
                float(c_float(node.head).value))

    def set_col_node(self, eid, mode, tim, val, nbp=None):
        count = len(tim) if nbp is None else nbp
        if len(tim) != count or len(val) != count or count > E.NODE_MAX_POINTS:
            raise ValueError("tim and val must have nbp elements, at most 20")
        field = _identifier_field(eid, E.NODE_ID_FIELD_LEN)
        record = self.boundary
        record.id = field
        record.mode = MODES[mode]
        record.count = count
        for i in range(count):
            record.points[i].time = tim[i]
            record.points[i].value = val[i]
        record.cleared_400 = 0
        return self.lib.SetNoeudQor(byref(c_int32(0)), field, byref(record))

    def run_simulation(self, horizon, storefact):
        zero = c_int32(0)
        self.lib.InitCalculQor(byref(zero))
        self.lib.GetParamCalcQor(byref(self.params))
        if horizon > 0:
            self.params.horizon = horizon
        if storefact > 0:
            self.params.storage_factor = int(storefact)
        status = self.lib.SetParamCalcQor(byref(self.params))
        if not status & 1:
            return status
        return self.lib.RunCalculQor()

    def size_ts(self, typelt, eid, attribut):
        selection = self.selection
        selection.element_type = ELEMENT_TYPES[typelt]
        selection.attribute = ATTRIBUTES[attribut]
        selection.one = 1
        selection.id = _identifier_field(eid, E.CURVE_ID_FIELD_LEN)
        if not self.lib.SetInfoCourbe(byref(selection)) & 1:
            return 0
        count = c_int32(0)
        self.lib.GetNbPtUneCourbe(byref(c_int32(0)), byref(count))
        return count.value

    def result_ts(self, nval):
        vdate = np.zeros(nval)
        vval = np.zeros(nval)
        slot1, slot2 = c_int32(0), c_int32(0)
        self.lib.GetUneCourbe(byref(c_int32(0)), vdate.ctypes.data, vval.ctypes.data, byref(slot1), byref(slot2),
                              byref(self.area))
        return vdate, vval
