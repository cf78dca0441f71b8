"""The README's quick start runs as written against the stand-in engine."""
import re
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]


def test_quick_start_runs(monkeypatch):
    readme = (ROOT / "README.md").read_text()
    block = re.search(r"## Quick start\n\n```python\n(.*?)```", readme, re.S).group(1)
    monkeypatch.chdir(ROOT)
    namespace = {}
    exec(compile(block, "README quick start", "exec"), namespace)
    assert namespace["n"] > 0 and len(namespace["values"]) == namespace["n"]
