"""The engine-folder setting: which folder joins the DLL search, and the message when no engine can be found."""
from pathlib import Path

import pytest

from qorvane import _engine_dir


def failing_import() -> None:
    raise ImportError("DLL load failed while importing _pyQorvane")


@pytest.mark.parametrize("setting, import_raw, added, raised", [
    # Not set: nothing is added and the module imports as it would anyway.
    (None, lambda: None, False, None),
    # Set to the engine's folder: that folder joins the search before the import.
    ("engine", lambda: None, True, None),
    # Set to a folder without the engine: refused before any import, naming the setting and the folder.
    ("empty", lambda: pytest.fail("imported"), False, r"QORVANE_ENGINE_DIR is set to '.*empty', which holds no Vuzizi32\.dll"),
    # Not set and the import fails with no engine beside the module: the message says what to set.
    (None, failing_import, False, r"no Vuzizi32\.dll beside _pyQorvane .*Set the environment variable QORVANE_ENGINE_DIR"),
])
def test_engine_folder_setting(tmp_path: Path, monkeypatch: pytest.MonkeyPatch, setting: str | None, import_raw,
                               added: bool, raised: str | None) -> None:
    # The module's folder, as the search sees it, holds no engine.
    monkeypatch.setattr(_engine_dir, "module_folder", lambda: tmp_path / "empty")
    (tmp_path / "engine").mkdir()
    (tmp_path / "engine" / "Vuzizi32.dll").write_bytes(b"")
    (tmp_path / "empty").mkdir()
    environ = {} if setting is None else {"QORVANE_ENGINE_DIR": str(tmp_path / setting)}
    directories: list[str] = []
    if raised is None:
        handles = _engine_dir.import_with_engine(environ, directories.append, import_raw)
        assert len(handles) == int(added)
    else:
        with pytest.raises(ImportError, match=raised):
            _engine_dir.import_with_engine(environ, directories.append, import_raw)
    assert directories == ([str(tmp_path / "engine")] if added else [])


def test_loader_error_kept_when_the_engine_is_there(tmp_path: Path) -> None:
    # The engine is where the setting says, yet the load fails (a 32-bit DLL in a 64-bit process, say):
    # the loader's own error stands, with a note naming the engine it tried.
    (tmp_path / "Vuzizi32.dll").write_bytes(b"")
    with pytest.raises(ImportError, match="DLL load failed") as caught:
        _engine_dir.import_with_engine({"QORVANE_ENGINE_DIR": str(tmp_path)}, lambda folder: None, failing_import)
    assert not isinstance(caught.value, _engine_dir.EngineNotFoundError)
    assert caught.value.__notes__ == [f"the engine tried: {tmp_path / 'Vuzizi32.dll'} (from QORVANE_ENGINE_DIR)"]
