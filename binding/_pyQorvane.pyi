"""Type stub of the _pyQorvane extension module."""

from typing import Any

import numpy as np
import numpy.typing as npt

__version__: str
__f2py_numpy_version__: str

class __pyQorvane_error(Exception):
    """The module's error class, `_pyQorvane.error`."""

TextArg = str | bytes | np.ndarray | None | Any
IntArg = int | float | str | bytes | complex | Any
FloatArg = float | int | str | bytes | complex | Any

def init(debuglevel: IntArg) -> bytes: ...
def quit() -> None: ...
def loadmodel(modelname: TextArg) -> int: ...
def get_unit_info(sattr: TextArg) -> tuple[float, bytes, bytes]: ...
def get_node(eid: TextArg) -> tuple[int, float, float, float]: ...
def set_col_node(
    eid: TextArg,
    mode: TextArg,
    tim: npt.ArrayLike,
    val: npt.ArrayLike,
    nbp: IntArg | None = None,
) -> int: ...
def run_simulation(horizon: FloatArg, storefact: FloatArg) -> int: ...
def size_ts(typelt: TextArg, eid: TextArg, attribut: TextArg) -> int: ...
def result_ts(nval: IntArg) -> tuple[npt.NDArray[np.float64], npt.NDArray[np.float64]]: ...

class _ModuleVariables:
    """The module variables as live zero-dimensional arrays over the session's storage."""

    sz_sid: npt.NDArray[np.int32]
    sz_lid: npt.NDArray[np.int32]
    stat_qordll: npt.NDArray[np.int32]
    debug: npt.NDArray[np.int32]
    qor_typelt: npt.NDArray[np.int16]
    qor_attr: npt.NDArray[np.int16]
    qor_id: npt.NDArray[np.bytes_]
    vers_qordll: npt.NDArray[np.bytes_]
    def __getattr__(self, name: str) -> Any: ...
    def __setattr__(self, name: str, value: Any) -> None: ...

pyvuzizi: _ModuleVariables
