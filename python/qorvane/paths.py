"""Model paths as the engine receives them: bytes in the encoding the engine opens files with."""
from __future__ import annotations

import os
import sys
from pathlib import Path

from .errors import LoadError

# The longest model path the raw module hands the engine whole.
MAX_PATH_LENGTH = 261
INVALID_PATH = 2  # the engine's loading code for an empty or invalid path
# On Windows the engine opens files with the narrow (ANSI code page) functions; elsewhere paths are bytes
# in the file system's encoding.
WINDOWS_PATH_ENCODING = "mbcs"
PATH_ENCODING: str | None = WINDOWS_PATH_ENCODING if sys.platform == "win32" else None


def engine_path(path: Path) -> bytes:
    """The path's bytes for the engine; LoadError (code 2) for one the engine cannot be given whole."""
    if PATH_ENCODING is None:
        encoded = os.fsencode(path)
    else:
        try:
            encoded = str(path).encode(PATH_ENCODING)
        except UnicodeEncodeError as error:
            raise LoadError(INVALID_PATH, f"loading {path} failed with code {INVALID_PATH}: model path is empty or "
                                          f"invalid: {str(path)[error.start:error.end]!r} has no form in the "
                                          f"{PATH_ENCODING} code page the engine opens files with; move or "
                                          "rename the file") from None
    if not encoded or len(encoded) > MAX_PATH_LENGTH or encoded != encoded.rstrip(b" "):
        raise LoadError(INVALID_PATH, f"loading {path} failed with code {INVALID_PATH}: model path is empty or "
                                      f"invalid (at most {MAX_PATH_LENGTH} bytes, no trailing blanks)")
    return encoded
