"""Checks the wheels of a release folder: one per platform, complete RECORDs, what each must and must not hold.

Every wheel's RECORD must list each file with its right SHA-256 and size, its METADATA must name the
project's name and version, its WHEEL tag must be its file name's, and pip must accept it for its
platform (a dry run). All wheels must hold the same package files, byte for byte. Prints each wheel with
its size; exits 1 naming every fault.

    check_wheels.py dist
"""
from __future__ import annotations

import argparse
import base64
import csv
import fnmatch
import hashlib
import io
import re
import subprocess
import sys
import tempfile
import tomllib
import zipfile
from dataclasses import dataclass
from pathlib import Path

PACKAGE = "qorvane/"
TYPE_STUB = "_pyQorvane.pyi"
BYTES_PER_KIB = 1024


@dataclass(frozen=True)
class WheelRule:
    """What the wheel of one platform holds; pip_platform None means the build machine's own."""
    name_pattern: str
    must_hold: tuple[str, ...]
    must_lack: tuple[str, ...]
    pip_platform: str | None
    pip_python: str | None


RULES = (
    # The engine keeps its name so that LD_LIBRARY_PATH can put another build of it first: nothing grafted.
    WheelRule("*-manylinux*.whl", (r"_pyQorvane\.cpython-[^/]+\.so", r"libVuzizi32\.so", re.escape(TYPE_STUB)),
              (r"[^/]+\.libs/.*",), None, None),
    WheelRule("*-win_amd64.whl", (r"_pyQorvane\.cp313-win_amd64\.pyd", r"Vuzizi32\.dll", re.escape(TYPE_STUB)),
              (), "win_amd64", "3.13"),
    # For the real engine: no engine of ours inside.
    WheelRule("*-win32.whl", (r"_pyQorvane\.cp313-win32\.pyd", re.escape(TYPE_STUB)), (r"(.*/)?Vuzizi32\.dll",),
              "win32", "3.13"),
)


def record_hash(data: bytes) -> str:
    return "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")


def check_archive(wheel: Path, name: str, version: str) -> tuple[list[str], dict[str, str]]:
    """Faults of one wheel, and its files with their hashes."""
    faults: list[str] = []
    with zipfile.ZipFile(wheel) as archive:
        members = {info.filename: archive.read(info) for info in archive.infolist() if not info.is_dir()}
    dist_info = f"{re.sub(r'[-_.]+', '_', name).lower()}-{version}.dist-info"
    record_name = f"{dist_info}/RECORD"
    if record_name not in members:
        return [f"{wheel.name}: no {record_name}"], {}
    listed = {row[0]: row[1:] for row in csv.reader(io.StringIO(members[record_name].decode("utf-8"))) if row}
    for path, data in members.items():
        if path == record_name:
            continue
        if path not in listed:
            faults.append(f"{wheel.name}: {path} is not in RECORD")
        elif listed[path] != [record_hash(data), str(len(data))]:
            faults.append(f"{wheel.name}: {path} does not match its RECORD entry")
    faults += [f"{wheel.name}: RECORD lists {path}, which is not in the wheel" for path in listed if path not in members]

    metadata = members.get(f"{dist_info}/METADATA", b"").decode("utf-8")
    for field in (f"Name: {name}", f"Version: {version}"):
        if field not in metadata.splitlines():
            faults.append(f"{wheel.name}: METADATA lacks '{field}'")
    tag = wheel.name.removesuffix(".whl").split("-", 2)[2]
    wheel_tags = {line.removeprefix("Tag: ") for line in members.get(f"{dist_info}/WHEEL", b"").decode().splitlines()
                  if line.startswith("Tag: ")}
    expected_tags = {f"{python}-{abi}-{platform}" for python, abi, platforms in [tag.split("-")]
                     for platform in platforms.split(".")}
    if wheel_tags != expected_tags:
        faults.append(f"{wheel.name}: WHEEL tags {sorted(wheel_tags)} are not the file name's {sorted(expected_tags)}")
    return faults, {path: record_hash(data) for path, data in members.items()}


def check_rule(wheel: Path, rule: WheelRule, files: dict[str, str]) -> list[str]:
    faults = [f"{wheel.name}: holds no file matching {pattern}" for pattern in rule.must_hold
              if not any(re.fullmatch(pattern, path) for path in files)]
    faults += [f"{wheel.name}: holds {path}" for pattern in rule.must_lack for path in files
               if re.fullmatch(pattern, path)]
    return faults


def check_pip_accepts(wheel: Path, rule: WheelRule) -> list[str]:
    command = [sys.executable, "-m", "pip", "install", "-q", "--dry-run", "--no-deps", "--no-index", "--ignore-installed"]
    with tempfile.TemporaryDirectory() as target:
        if rule.pip_platform is not None:
            command += ["--only-binary=:all:", "--implementation", "cp", "--platform", rule.pip_platform,
                        "--python-version", rule.pip_python or "", "--target", target]
        done = subprocess.run(command + [str(wheel)], capture_output=True, text=True, check=False)
    if done.returncode != 0:
        return [f"{wheel.name}: pip refuses it: {(done.stderr or done.stdout).strip()}"]
    return []


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("folder", type=Path)
    parser.add_argument("--pyproject", type=Path, default=Path("pyproject.toml"))
    args = parser.parse_args(argv)
    project = tomllib.loads(args.pyproject.read_text(encoding="utf-8"))["project"]
    wheels = sorted(args.folder.glob("*.whl"))
    faults: list[str] = []
    packages: dict[str, dict[str, str]] = {}
    for rule in RULES:
        matching = [wheel for wheel in wheels if fnmatch.fnmatch(wheel.name, rule.name_pattern)]
        if len(matching) != 1:
            faults.append(f"{args.folder}: {len(matching)} wheels match {rule.name_pattern}, expected one")
            continue
        wheel = matching[0]
        archive_faults, files = check_archive(wheel, project["name"], project["version"])
        faults += archive_faults + check_rule(wheel, rule, files) + check_pip_accepts(wheel, rule)
        packages[wheel.name] = {path: digest for path, digest in files.items() if path.startswith(PACKAGE)}
        print(f"{wheel}  {wheel.stat().st_size / BYTES_PER_KIB:.0f} KiB")
    faults += [f"{args.folder}: {wheel.name} matches no platform" for wheel in wheels
               if not any(fnmatch.fnmatch(wheel.name, rule.name_pattern) for rule in RULES)]
    if packages:
        reference_name, reference = next(iter(packages.items()))
        if not reference:
            faults.append(f"{reference_name}: holds no {PACKAGE} package")
        for wheel_name, package in packages.items():
            differing = sorted(set(package.items()) ^ set(reference.items()))
            if differing:
                faults.append(f"{wheel_name}: its package differs from {reference_name}'s at "
                              + ", ".join(sorted({path for path, _ in differing})))
    for fault in faults:
        print(f"check_wheels: {fault}", file=sys.stderr)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
