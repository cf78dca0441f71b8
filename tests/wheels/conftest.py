"""Fixtures of the wheel tools' tests: the tools importable, and a small project to assemble wheels from."""
import sys
from collections.abc import Callable
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "tools"))

import assemble_wheel  # noqa: E402

PYPROJECT = """
[project]
name = "pyqorvane"
version = "9.8.7"
description = "a test project"
requires-python = ">=3.11"
dependencies = ["numpy>=2,<3"]
[project.optional-dependencies]
tables = ["pandas"]
"""


@pytest.fixture
def project(tmp_path: Path) -> Path:
    """pyproject.toml, a README, a package with a byte-code cache, a module binary and an engine DLL."""
    (tmp_path / "pyproject.toml").write_text(PYPROJECT)
    (tmp_path / "README.md").write_text("# pyqorvane\n")
    package = tmp_path / "src" / "qorvane"
    (package / "__pycache__").mkdir(parents=True)
    (package / "__init__.py").write_text("VALUE = 1\n")
    (package / "networks").mkdir()
    (package / "networks" / "a.inp").write_text("[END]\n")
    (package / "__pycache__" / "__init__.cpython-311.pyc").write_bytes(b"cache")
    (tmp_path / "module.pyd").write_bytes(b"MZ module")
    (tmp_path / "Vuzizi32.dll").write_bytes(b"MZ engine")
    return tmp_path


@pytest.fixture
def assemble(project: Path) -> Callable[..., Path]:
    """Assembles a wheel of the test project with the given tag and extra files (SOURCE=PATH pairs)."""
    def make(tag: str, *files: str) -> Path:
        entries = assemble_wheel.collect([f"{project / 'module.pyd'}=_pyQorvane.pyd", *files],
                                         [f"{project / 'src' / 'qorvane'}=qorvane"])
        return assemble_wheel.assemble(tag, project / "dist", entries, project / "pyproject.toml", project / "README.md")
    return make
