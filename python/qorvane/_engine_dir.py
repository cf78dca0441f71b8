"""Where Windows finds the engine Vuzizi32.dll for _pyQorvane: the folder QORVANE_ENGINE_DIR names, or beside the module.

Windows loads an extension module's DLLs from the module's folder, the interpreter's folder, the system
folders and the folders given to os.add_dll_directory, not from PATH. A wheel made for the real engine
holds no Vuzizi32.dll, so the engine's folder is named by the environment variable QORVANE_ENGINE_DIR,
added here before anything imports _pyQorvane. Elsewhere this does nothing: Linux finds libVuzizi32.so
beside the module or through LD_LIBRARY_PATH.
"""
from __future__ import annotations

import importlib.util
import os
import sys
from collections.abc import Callable, Mapping
from pathlib import Path

ENGINE_DIR_SETTING = "QORVANE_ENGINE_DIR"
ENGINE_DLL = "Vuzizi32.dll"
RAW_MODULE = "_pyQorvane"


class EngineNotFoundError(ImportError):
    """No Vuzizi32.dll where the module's import can find it."""


def engine_folder(environ: Mapping[str, str]) -> Path | None:
    """The folder the setting names, checked to hold the engine; None when the setting is not given."""
    value = environ.get(ENGINE_DIR_SETTING, "")
    if not value:
        return None
    folder = Path(value)
    if not (folder / ENGINE_DLL).is_file():
        raise EngineNotFoundError(
            f"{ENGINE_DIR_SETTING} is set to {value!r}, which holds no {ENGINE_DLL}: "
            f"set it to the folder of the engine's {ENGINE_DLL}")
    return folder


def module_folder() -> Path | None:
    """The folder _pyQorvane would be imported from, found without importing it."""
    found = importlib.util.find_spec(RAW_MODULE)
    if found is None or found.origin is None:
        return None
    return Path(found.origin).parent


def not_found_message(module_dir: Path | None) -> str:
    beside = f" beside {RAW_MODULE} in {module_dir}" if module_dir is not None else ""
    return (f"{RAW_MODULE} cannot be loaded: no {ENGINE_DLL}{beside}, and {ENGINE_DIR_SETTING} is not set. "
            f"Set the environment variable {ENGINE_DIR_SETTING} to the folder of the engine's {ENGINE_DLL}.")


def import_with_engine(environ: Mapping[str, str], add_dll_directory: Callable[[str], object],
                       import_raw: Callable[[], object]) -> list[object]:
    """Adds the setting's folder to the DLL search and imports the module; returns the handles to keep.

    A failed import is explained when no Vuzizi32.dll was anywhere to be found: with the setting not given
    and none beside the module. Otherwise the loader's own error stands, with a note naming the engine tried.
    """
    folder = engine_folder(environ)
    handles = [] if folder is None else [add_dll_directory(str(folder))]
    try:
        import_raw()
    except ImportError as error:
        module_dir = module_folder()
        candidate = folder if folder is not None else module_dir
        if candidate is None or not (candidate / ENGINE_DLL).is_file():
            raise EngineNotFoundError(not_found_message(module_dir)) from error
        origin = f"from {ENGINE_DIR_SETTING}" if folder is not None else f"beside {RAW_MODULE}"
        error.add_note(f"the engine tried: {candidate / ENGINE_DLL} ({origin})")
        raise
    return handles


def _import_raw() -> object:
    return importlib.import_module(RAW_MODULE)


if sys.platform == "win32":
    # The handles keep the folders in the search for as long as the process runs.
    _dll_directories = import_with_engine(os.environ, os.add_dll_directory, _import_raw)
