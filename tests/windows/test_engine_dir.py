"""Under Windows, from the installed wheel: a module without Vuzizi32.dll beside it finds the engine through QORVANE_ENGINE_DIR."""
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

pytestmark = pytest.mark.skipif(sys.platform != "win32", reason="the Windows DLL search")

IMPORT_AND_OPEN = "import qorvane, _pyQorvane; print('engine version', _pyQorvane.init(0))"


def copy_bytes(source: str, destination: str) -> None:
    # shutil's own copy calls CopyFile2, which wine 8.0 lacks.
    Path(destination).write_bytes(Path(source).read_bytes())


@pytest.fixture(scope="module")
def bare_install(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """The installed module and package copied to a folder of their own, the engine to a folder apart."""
    import _pyQorvane
    import qorvane

    folder = tmp_path_factory.mktemp("bare")
    module = Path(_pyQorvane.__file__)
    copy_bytes(str(module), str(folder / module.name))
    shutil.copytree(Path(qorvane.__file__).parent, folder / "qorvane", copy_function=copy_bytes)
    (folder / "engine").mkdir()
    copy_bytes(str(module.parent / "Vuzizi32.dll"), str(folder / "engine" / "Vuzizi32.dll"))
    (folder / "empty").mkdir()
    return folder


@pytest.mark.parametrize("setting, expected", [
    ("engine", "engine version"),
    (None, "Set the environment variable QORVANE_ENGINE_DIR to the folder of the engine's Vuzizi32.dll"),
    ("empty", "which holds no Vuzizi32.dll"),
])
def test_engine_found_through_the_setting(bare_install: Path, setting: str | None, expected: str) -> None:
    environ = {key: value for key, value in os.environ.items() if key != "QORVANE_ENGINE_DIR"}
    environ["PYTHONPATH"] = str(bare_install)
    if setting is not None:
        environ["QORVANE_ENGINE_DIR"] = str(bare_install / setting)
    done = subprocess.run([sys.executable, "-c", IMPORT_AND_OPEN], capture_output=True, text=True, env=environ,
                          cwd=bare_install.parent, timeout=120)
    assert expected in done.stdout + done.stderr
    assert (done.returncode == 0) == (setting == "engine"), done.stderr
