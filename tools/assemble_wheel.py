"""Assembles a wheel from built files and the package sources: for the cross builds, which no build backend packs.

The metadata comes from pyproject.toml (name, version, summary, Python and package requirements, extras)
with the README as description; RECORD lists every file with its SHA-256 and size. Entries are written in
a fixed order with a fixed time stamp, so the same inputs give the same wheel.

    assemble_wheel.py --tag cp313-cp313-win_amd64 --out dist \
        --file build/_pyQorvane.cp313-win_amd64.pyd=_pyQorvane.cp313-win_amd64.pyd --tree python/qorvane=qorvane
"""
from __future__ import annotations

import argparse
import base64
import csv
import hashlib
import io
import re
import sys
import tomllib
import zipfile
from pathlib import Path

GENERATOR = "pyqorvane tools/assemble_wheel.py"
# Zip's earliest representable time: wheels of the same inputs are byte-identical.
FIXED_TIME = (1980, 1, 1, 0, 0, 0)
FILE_MODE = 0o644
# Files of a source tree that are not part of the package: byte-code caches.
SKIPPED_PARTS = {"__pycache__"}
SKIPPED_SUFFIXES = {".pyc", ".pyo"}
TAG_PATTERN = re.compile(r"^[a-z0-9_.]+-[a-z0-9_.]+-[a-z0-9_.]+$")


class AssemblyError(Exception):
    pass


def record_hash(data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode("ascii")
    return f"sha256={digest}"


def metadata_text(pyproject: Path, readme: Path | None) -> tuple[str, str, str]:
    """(name, version, METADATA) from the [project] table of pyproject.toml."""
    project = tomllib.loads(pyproject.read_text(encoding="utf-8")).get("project")
    if not project or "name" not in project or "version" not in project:
        raise AssemblyError(f"{pyproject}: no [project] table with name and version")
    lines = ["Metadata-Version: 2.1", f"Name: {project['name']}", f"Version: {project['version']}"]
    if "description" in project:
        lines.append(f"Summary: {project['description']}")
    if "requires-python" in project:
        lines.append(f"Requires-Python: {project['requires-python']}")
    lines += [f"Requires-Dist: {requirement}" for requirement in project.get("dependencies", [])]
    for extra, requirements in project.get("optional-dependencies", {}).items():
        lines.append(f"Provides-Extra: {extra}")
        lines += [f'Requires-Dist: {requirement}; extra == "{extra}"' for requirement in requirements]
    text = "\n".join(lines) + "\n"
    if readme is not None:
        text += "Description-Content-Type: text/markdown\n\n" + readme.read_text(encoding="utf-8")
    return project["name"], project["version"], text


def normalized(name: str) -> str:
    """A distribution name as wheel file names and .dist-info folders spell it."""
    return re.sub(r"[-_.]+", "_", name).lower()


def parse_pair(pair: str, option: str) -> tuple[Path, str]:
    source, separator, destination = pair.partition("=")
    if not separator or not source or not destination:
        raise AssemblyError(f"{option} {pair!r}: expected SOURCE=PATH_IN_WHEEL")
    return Path(source), destination.strip("/")


def collect(files: list[str], trees: list[str]) -> dict[str, Path]:
    """Path in the wheel -> source file, from single files and whole source trees."""
    entries: dict[str, Path] = {}

    def add(destination: str, source: Path) -> None:
        if destination in entries:
            raise AssemblyError(f"{destination} comes from both {entries[destination]} and {source}")
        entries[destination] = source

    for pair in files:
        source, destination = parse_pair(pair, "--file")
        if not source.is_file():
            raise AssemblyError(f"--file {pair!r}: {source} is not a file")
        add(destination, source)
    for pair in trees:
        root, destination = parse_pair(pair, "--tree")
        if not root.is_dir():
            raise AssemblyError(f"--tree {pair!r}: {root} is not a folder")
        for source in sorted(root.rglob("*")):
            relative = source.relative_to(root)
            if source.is_file() and not SKIPPED_PARTS & set(relative.parts) and source.suffix not in SKIPPED_SUFFIXES:
                add(f"{destination}/{relative.as_posix()}", source)
    return entries


def write_entry(archive: zipfile.ZipFile, name: str, data: bytes) -> None:
    info = zipfile.ZipInfo(name, date_time=FIXED_TIME)
    info.external_attr = FILE_MODE << 16
    info.compress_type = zipfile.ZIP_DEFLATED
    archive.writestr(info, data)


def assemble(tag: str, out: Path, entries: dict[str, Path], pyproject: Path, readme: Path | None) -> Path:
    if not TAG_PATTERN.match(tag):
        raise AssemblyError(f"--tag {tag!r}: expected python-abi-platform, e.g. cp313-cp313-win_amd64")
    name, version, metadata = metadata_text(pyproject, readme)
    dist_info = f"{normalized(name)}-{version}.dist-info"
    if any(path.split("/")[0] == dist_info for path in entries):
        raise AssemblyError(f"{dist_info} is written by the assembly, not taken from the inputs")
    wheel_info = f"Wheel-Version: 1.0\nGenerator: {GENERATOR}\nRoot-Is-Purelib: false\nTag: {tag}\n"
    contents = [(path, entries[path].read_bytes()) for path in sorted(entries)]
    contents += [(f"{dist_info}/METADATA", metadata.encode("utf-8")), (f"{dist_info}/WHEEL", wheel_info.encode("utf-8"))]
    record = io.StringIO()
    writer = csv.writer(record, lineterminator="\n")
    for path, data in contents:
        writer.writerow([path, record_hash(data), len(data)])
    writer.writerow([f"{dist_info}/RECORD", "", ""])
    contents.append((f"{dist_info}/RECORD", record.getvalue().encode("utf-8")))

    out.mkdir(parents=True, exist_ok=True)
    wheel = out / f"{normalized(name)}-{version}-{tag}.whl"
    partial = wheel.with_suffix(".partial")
    with zipfile.ZipFile(partial, "w") as archive:
        for path, data in contents:
            write_entry(archive, path, data)
    partial.replace(wheel)
    return wheel


def main(argv: list[str]) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--tag", required=True, help="python-abi-platform, e.g. cp313-cp313-win_amd64")
    parser.add_argument("--out", type=Path, required=True, help="folder the wheel is written to")
    parser.add_argument("--file", action="append", default=[], metavar="SOURCE=PATH", help="one file")
    parser.add_argument("--tree", action="append", default=[], metavar="FOLDER=PATH", help="a folder's files")
    parser.add_argument("--pyproject", type=Path, default=Path("pyproject.toml"))
    parser.add_argument("--readme", type=Path, default=Path("README.md"))
    args = parser.parse_args(argv)
    try:
        wheel = assemble(args.tag, args.out, collect(args.file, args.tree), args.pyproject, args.readme)
    except (AssemblyError, OSError, tomllib.TOMLDecodeError) as error:
        print(f"assemble_wheel: {error}", file=sys.stderr)
        return 1
    print(wheel)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
