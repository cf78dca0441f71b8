"""Model paths as the engine receives them: the ANSI code page on Windows, with a refusal for a path that
has none."""
from pathlib import Path

import pytest

import qorvane
from qorvane import paths


@pytest.mark.parametrize("encoding, name, expected", [
    (None, "José.inp", "José.inp".encode()),
    ("cp1252", "José.inp", b"Jos\xe9.inp"),
    ("cp1252", "\u6f22.inp", None),
])
def test_paths_are_encoded_for_the_engine(monkeypatch, encoding, name, expected):
    monkeypatch.setattr(paths, "PATH_ENCODING", encoding)
    if expected is not None:
        assert paths.engine_path(Path(name)) == expected
        return
    with pytest.raises(qorvane.LoadError, match="'\u6f22' has no form in the cp1252 code page") as caught:
        qorvane.Model(name)
    assert caught.value.code == 2
