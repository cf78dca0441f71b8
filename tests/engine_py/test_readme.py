"""The README's quick start runs as written from a folder outside the repository."""
import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_quick_start_runs(monkeypatch, tmp_path, capsys):
    readme = (ROOT / "README.md").read_text()
    blocks = re.search(r"## Quick start\n\n```python\n(.*?)```.*?```python\n(.*?)```", readme, re.S).groups()
    monkeypatch.chdir(tmp_path)
    namespace = {}
    for block in blocks:
        exec(compile(block, "README quick start", "exec"), namespace)
    assert re.fullmatch(r"peak pressure at J5: \d+\.\d m\nlowest pressure at J2 after the trip: -?\d+\.\d m\n",
                        capsys.readouterr().out)
    # Both ways give the same curve.
    assert (namespace["pressure"].values == namespace["values"]).all()
