"""The wheel check: it passes a sound wheel and names each fault of a damaged one."""
import zipfile
from collections.abc import Callable
from pathlib import Path

import pytest

import check_wheels

WIN32 = next(rule for rule in check_wheels.RULES if rule.name_pattern == "*-win32.whl")


def rewritten(wheel: Path, change: Callable[[dict[str, bytes]], None]) -> Path:
    """The wheel with its members changed by `change`, in place."""
    with zipfile.ZipFile(wheel) as archive:
        members = {name: archive.read(name) for name in archive.namelist()}
    change(members)
    with zipfile.ZipFile(wheel, "w") as archive:
        for name, data in members.items():
            archive.writestr(name, data)
    return wheel


@pytest.mark.parametrize("change, extra_files, faults", [
    (lambda members: None, [], []),
    (lambda members: members.update({"qorvane/__init__.py": b"VALUE = 2\n"}), [],
     ["qorvane/__init__.py does not match its RECORD entry"]),
    (lambda members: members.update({"qorvane/stray.py": b""}), [], ["qorvane/stray.py is not in RECORD"]),
    (lambda members: members.pop("qorvane/__init__.py"), [], ["RECORD lists qorvane/__init__.py, which is not in the wheel"]),
    (lambda members: None, ["{project}/Vuzizi32.dll=Vuzizi32.dll"], ["holds Vuzizi32.dll"]),
    (lambda members: members.update({"pyqorvane-9.8.7.dist-info/WHEEL": b"Tag: cp313-cp313-win_amd64\n"}), [],
     ["WHEEL tags ['cp313-cp313-win_amd64'] are not the file name's ['cp313-cp313-win32']"]),
])
def test_faults_named(assemble: Callable[..., Path], project: Path, change, extra_files: list[str],
                      faults: list[str]) -> None:
    wheel = rewritten(assemble("cp313-cp313-win32", "{project}/module.pyd=_pyQorvane.cp313-win32.pyd".format(project=project),
                               f"{project}/module.pyd=_pyQorvane.pyi",
                               *(file.format(project=project) for file in extra_files)), change)
    archive_faults, files = check_wheels.check_archive(wheel, "pyqorvane", "9.8.7")
    found = [fault.removeprefix(f"{wheel.name}: ") for fault in archive_faults + check_wheels.check_rule(wheel, WIN32, files)]
    assert set(faults) <= set(found) and bool(found) == bool(faults), found
    if not faults:
        # pip, asked for the rule's platform, takes the sound wheel.
        assert check_wheels.check_pip_accepts(wheel, WIN32) == []
