"""Call-frame timings: each of the nine functions, positional and by keyword, beside the floor builtin, the
minimal frames (over a no-op and over the session routine) and the same engine calls made through ctypes."""

from __future__ import annotations

import struct
from dataclasses import dataclass

import numpy as np

import engine_ctypes as E
import timing
from ctypes_user import CtypesUser

BOUNDARY_POINTS = 3  # points of the set_col_node series
RESULT_POINTS = 10   # points read by result_ts

# Frame targets: scalar and text functions within this factor of the minimal frame, and at least this
# many times faster than the ctypes user.
MAX_RATIO_TO_MINIMAL = 1.3
MIN_SPEEDUP_OVER_CTYPES = 4.0
ARRAY_FUNCTIONS = ("set_col_node", "result_ts")

NODE_ELEVATION, NODE_DEMAND, NODE_HEAD = 12.5, 0.75, 42.0
UNIT_COEFFICIENT = 0.001


@dataclass
class Case:
    name: str
    args: tuple
    kwargs: dict | None  # None: the function takes no arguments to name

    @property
    def kind(self) -> str:
        return "array" if self.name in ARRAY_FUNCTIONS else "scalar/text"


def cases() -> list[Case]:
    tim = np.arange(BOUNDARY_POINTS, dtype=np.float32)
    val = np.ones(BOUNDARY_POINTS, dtype=np.float32)
    return [
        Case("init", (0,), {"debuglevel": 0}),
        Case("quit", (), None),
        Case("loadmodel", ("networks/grid.inp",), {"modelname": "networks/grid.inp"}),
        Case("get_unit_info", ("P",), {"sattr": "P"}),
        Case("get_node", ("N1",), {"eid": "N1"}),
        Case("set_col_node", ("N1", "CH", tim, val), {"eid": "N1", "mode": "CH", "tim": tim, "val": val}),
        Case("run_simulation", (3600.0, 1.0), {"horizon": 3600.0, "storefact": 1.0}),
        Case("size_ts", ("NODE", "N1", "P"), {"typelt": "NODE", "eid": "N1", "attribut": "P"}),
        Case("result_ts", (RESULT_POINTS,), {"nval": RESULT_POINTS}),
    ]


def node_record_bytes() -> bytes:
    record = E.NodeRecord()
    record.elevation, record.demand, record.head = NODE_ELEVATION, NODE_DEMAND, NODE_HEAD
    return bytes(record)


def program_double(double: E.DoubleControl, curve_points: int) -> None:
    """Every operation answers as an engine would on the successful path."""
    double.reset()
    double.returns("OuvrirReseau", 1)
    double.writes("GetNumeroVersion", 0, b"2.2  ")
    unit = E.UnitRecord()
    unit.name, unit.coefficient = b"mCE   ", UNIT_COEFFICIENT
    double.writes("GetUnitCourante", 1, bytes(unit))
    double.writes("GetUnitRef", 1, b"mCE     ")
    double.writes("GetNoeudQor", 1, node_record_bytes())
    double.writes("GetNbPtUneCourbe", 1, struct.pack("<i", curve_points))
    double.writes("GetUneCourbe", 1, np.arange(curve_points, dtype=np.float64).tobytes())
    double.writes("GetUneCourbe", 2, np.full(curve_points, 2.0).tobytes())


# module: the module's function (session and engine included); module_noop: the module's frame over a no-op;
# floor: a no-op builtin; minimal_noop / minimal_session: the minimal frame over a no-op / the session
# routine; ctypes: the same engine operations called directly.
COLUMNS = ("module", "module_noop", "floor", "minimal_noop", "minimal_session", "ctypes")


def contenders(module, reference, user: CtypesUser, name: str) -> dict:
    return {
        "module": getattr(module, name),
        "module_noop": reference.rebase(getattr(module, name), name),
        "floor": reference.floor,
        "minimal_noop": getattr(reference, f"noop_{name}"),
        "minimal_session": getattr(reference, f"session_{name}"),
        "ctypes": getattr(user, name),
    }


def statement(args: tuple, kwargs: dict | None, by_keyword: bool, namespace: dict) -> str:
    """`f(a0, a1)` or `f(k=a0)`, the arguments bound in `namespace`."""
    parts = []
    if by_keyword:
        for i, (key, value) in enumerate(kwargs.items()):
            namespace[f"a{i}"] = value
            parts.append(f"{key}=a{i}")
    else:
        for i, value in enumerate(args):
            namespace[f"a{i}"] = value
            parts.append(f"a{i}")
    return f"f({', '.join(parts)})"


def run(module, reference, repeat: int, run_seconds: float) -> list[dict]:
    lib = E.load_engine()
    double = E.DoubleControl(lib)
    user = CtypesUser(lib)

    def prepare() -> None:
        # The journal is emptied before each run so that it never grows large; every session is opened
        # and has a curve selected, so each call takes its successful path.
        program_double(double, RESULT_POINTS)
        for opener in (module, reference, user):
            init = getattr(opener, "init", None) or getattr(opener, "session_init")
            init(0)
        module.size_ts("NODE", "N1", "P")
        reference.session_size_ts("NODE", "N1", "P")

    rows = []
    for case in cases():
        for by_keyword in (False, True):
            if by_keyword and case.kwargs is None:
                continue
            row = {"function": case.name, "call": "keyword" if by_keyword else "positional", "kind": case.kind}
            statements = {}
            for column, function in contenders(module, reference, user, case.name).items():
                namespace = {"f": function}
                statements[column] = (statement(case.args, case.kwargs, by_keyword and column != "floor", namespace),
                                      namespace)
            row.update(timing.ns_per_call_each(statements, setup=prepare, repeat=repeat, run_seconds=run_seconds))
            row["frame_ratio_to_minimal"] = row["module_noop"] / row["minimal_noop"]
            row["ratio_to_minimal_noop"] = row["module"] / row["minimal_noop"]
            row["ratio_to_minimal_session"] = row["module"] / row["minimal_session"]
            row["speedup_over_ctypes"] = row["ctypes"] / row["module"]
            row["meets_targets"] = meets_targets(row)
            rows.append(row)
    return rows


def meets_targets(row: dict) -> bool:
    fast_enough = row["speedup_over_ctypes"] >= MIN_SPEEDUP_OVER_CTYPES
    if row["kind"] == "array":
        return fast_enough
    return fast_enough and row["frame_ratio_to_minimal"] <= MAX_RATIO_TO_MINIMAL
