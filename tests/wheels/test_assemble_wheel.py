"""Wheels assembled from built files: what pip installs from them, their RECORD, and the inputs refused."""
import subprocess
import sys
from collections.abc import Callable
from pathlib import Path

import pytest
from wheel.wheelfile import WheelFile

import assemble_wheel


def test_assembled_wheel_installs_with_its_metadata(assemble: Callable[..., Path], tmp_path: Path) -> None:
    wheel = assemble("py3-none-any")
    assert wheel.name == "pyqorvane-9.8.7-py3-none-any.whl"
    # wheel's own reader checks every file against its RECORD hash and refuses files RECORD lacks.
    with WheelFile(wheel) as archive:
        names = archive.namelist()
        for name in names:
            archive.read(name)
    assert not [name for name in names if "__pycache__" in name]
    target = tmp_path / "installed"
    subprocess.run([sys.executable, "-m", "pip", "install", "-q", "--no-deps", "--no-index", "--target", str(target),
                    str(wheel)], check=True)
    assert (target / "qorvane" / "networks" / "a.inp").read_text() == "[END]\n"
    assert (target / "_pyQorvane.pyd").read_bytes() == b"MZ module"
    metadata = (target / "pyqorvane-9.8.7.dist-info" / "METADATA").read_text()
    for line in ("Requires-Python: >=3.11", "Requires-Dist: numpy>=2,<3", "Provides-Extra: tables",
                 'Requires-Dist: pandas; extra == "tables"', "Description-Content-Type: text/markdown"):
        assert line in metadata.splitlines()
    # The same inputs give the same bytes.
    first = wheel.read_bytes()
    assert assemble("py3-none-any").read_bytes() == first


@pytest.mark.parametrize("tag, files, message", [
    ("cp313-win_amd64", [], "expected python-abi-platform"),
    ("py3-none-any", ["{project}/missing.dll=Vuzizi32.dll"], "is not a file"),
    ("py3-none-any", ["{project}/Vuzizi32.dll"], "expected SOURCE=PATH_IN_WHEEL"),
    ("py3-none-any", ["{project}/Vuzizi32.dll=_pyQorvane.pyd"], "_pyQorvane.pyd comes from both"),
    ("py3-none-any", ["{project}/Vuzizi32.dll=pyqorvane-9.8.7.dist-info/RECORD"], "written by the assembly"),
])
def test_inputs_refused(assemble: Callable[..., Path], project: Path, tag: str, files: list[str], message: str) -> None:
    with pytest.raises(assemble_wheel.AssemblyError, match=message):
        assemble(tag, *(file.format(project=project) for file in files))
    assert not list((project / "dist").glob("*.whl"))
