"""Loading: element lists, node values as the raw module gives them, every loading failure."""
import re

import pytest

import _pyQorvane as raw
import qorvane
from qorvane import inp_reader


def test_element_lists_and_nodes_match_the_engine(every_kind):
    with qorvane.Model(every_kind) as model:
        assert model.nodes == ("J0", "J1", "J2", "J3", "J4", "J5", "LAKE", "T1")
        assert (model.reservoirs, model.tanks, model.pumps, model.valves) == (("LAKE",), ("T1",), ("PU1",), ("V1",))
        assert model.links == ("P0", "P1", "P2", "P4", "P9", "PU1", "V1")
        assert (model.surge_tanks, model.air_vessels, model.relief_valves) == (("ST1",), ("AV1",), ("RV1",))
        node = model.node("J5")
        assert (node.index, node.elevation, node.demand, node.head) == raw.get_node("J5")
        assert (node.kind, node.units) == ("junction",
                                           {"elevation": "m", "demand": "LPS", "head": "m", "pressure": "m"})
        with pytest.raises(qorvane.UnknownElementError, match="no node 'J9'"):
            model.node("J9")  # after [END]


def test_load_errors_carry_code_meaning_and_engine_lines(every_kind, tmp_path):
    broken = tmp_path / "broken.inp"
    broken.write_text(every_kind.read_text().replace("P4 J4 J5", "P4 J4 NOWHERE"))
    cases = [(broken, 17, "undefined node"), (tmp_path / "missing.inp", 3, "cannot open model file"),
             (tmp_path / ("x" * 300), 2, "model path is empty or invalid")]
    for path, code, meaning in cases:
        with pytest.raises(qorvane.LoadError) as caught:
            qorvane.Model(path)
        assert (caught.value.code, caught.value.meaning[:len(meaning)]) == (code, meaning)
        assert f"failed with code {code}: {meaning}" in str(caught.value)
    assert re.search(r"broken.inp:\d+: error 17: .*NOWHERE", qorvane.LoadError.__str__(
        pytest.raises(qorvane.LoadError, qorvane.Model, broken).value))


def test_meanings_are_the_engine_table():
    table = (pytest.importorskip("pathlib").Path(__file__).parents[2] / "vuzizi/src/errors.def").read_text()
    rows = {int(c): t for c, t in re.findall(r'VUZIZI_ERROR\(\w+, (\d+), "([^"]*)"\)', table) if c != "0"}
    assert rows == qorvane.errors.LOAD_ERROR_MEANINGS


def test_reader_disagreeing_with_the_engine_is_refused(every_kind, monkeypatch):
    read = inp_reader.read_elements

    def with_phantom(path):
        elements = read(path)
        elements.ids["junction"].append("GHOST")
        elements.lines[("junction", "GHOST")] = 99
        return elements

    monkeypatch.setattr(qorvane.model, "read_elements", with_phantom)
    with pytest.raises(qorvane.ModelFileError, match=r"every_kind.inp:99: junction 'GHOST' .* unknown to the engine"):
        qorvane.Model(every_kind)


def test_a_closed_or_replaced_model_refuses_use(pumping_main):
    first = qorvane.Model(pumping_main)
    second = qorvane.Model(pumping_main)
    with pytest.raises(qorvane.ModelClosedError):
        first.node("J5")
    second.node("J5")
    second.close()
    for call in (lambda: second.node("J5"), lambda: second.run(1.0), lambda: second.set_head("J5", [0], [1])):
        with pytest.raises(qorvane.ModelClosedError):
            call()
