"""Text arguments: the blank-padded field each kind of Python object becomes, fixed widths, and failures."""

import re

import numpy as np
import pytest

import _pyQorvane as M
from support import padded

NODE_FIELD_LEN = 19
MODEL_PATH_LEN = 261
UNKNOWN_NODE = -1


class Named:
    def __str__(self):
        return "named"


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


class Text(str):
    pass


OWN_LENGTH = [
    ("N1", b"N1"),
    (b"N1", b"N1"),
    (Text("N7"), b"N7"),
    ("N1  ", b"N1  "),
    ("  N1", b"  N1"),
    ("", b""),
    (None, b""),
    (123, b"123"),
    (1.5, b"1.5"),
    (True, b"True"),
    (np.int32(7), b"7"),
    (Named(), b"named"),
    (b"a\x00b", b"a  "),
    ("a\x00", b"a "),
    (b"\x00\x00", b"  "),
    (np.array([65, 66], dtype=np.uint8), b"AB"),
    (np.array([65, 0, 66], dtype=np.uint8), b"A"),
    (np.array([65, 66], dtype=np.int16), b"A"),
    (np.array(b"XYZ"), b"XYZ"),
    (np.array([b"AB", b"CD"]), b"ABCD"),
    (np.array([[65, 66], [67, 68]], dtype=np.uint8), b"ABCD"),
    (np.array([], dtype=np.uint8), b""),
]


@pytest.fixture
def unknown_nodes(dbl):
    """The engine knows no node and the debug level asks for error lines."""
    dbl.returns("IndiceNoeudQor", UNKNOWN_NODE)
    M.pyvuzizi.debug[()] = 1
    yield dbl
    M.pyvuzizi.debug[()] = 0


@pytest.mark.parametrize("value, field", OWN_LENGTH, ids=repr)
def test_text_of_its_own_length_reaches_the_session(unknown_nodes, capsys, value, field):
    M.get_node(value)
    assert capsys.readouterr().out == "  * Unknown node:" + field.decode("ascii") + "\n"


def test_text_bytes_beyond_ascii_pass_unchanged(dbl):
    M.get_node(b"\xe9t\xe9")
    (call,) = dbl.calls_of("IndiceNoeudQor")
    assert call.args[0] == b"\xe9t\xe9\x00" + b" " * (NODE_FIELD_LEN - 4)


@pytest.mark.parametrize("value, field", [
    ("net.qor", b"net.qor"),
    (b"a\x00b", b"a"),
    (123, b"123"),
    (np.array([110, 101, 116], dtype=np.uint8), b"net"),
    (None, b""),
])
def test_model_path_field_from_each_kind_of_text(dbl, value, field):
    M.loadmodel(value)
    (call,) = dbl.calls_of("OuvrirReseau")
    assert call.args[0] == padded(field, MODEL_PATH_LEN) + b"\x00"


UNIT_POSITIONS = [
    ("P", 4),             # completed with a blank
    (b"W", 15),
    ("CHX", 3),           # cut to two characters
    ("T\x00", 1),         # a zero byte ends the text
    (np.array([67, 72, 90], dtype=np.uint8), 3),
]


@pytest.mark.parametrize("value, position", UNIT_POSITIONS, ids=repr)
def test_fixed_width_text_is_cut_or_completed(dbl, value, position):
    M.get_unit_info(value)
    (call,) = dbl.calls_of("GetUnitCourante")
    assert call.i16(0) == position


@pytest.mark.parametrize("value", [None, b"", ""], ids=repr)
def test_empty_fixed_width_text_is_two_blanks_and_matches_no_code(dbl, value):
    assert M.get_unit_info(value)[1:] == (b"", b"")
    assert dbl.ops() == []


NON_CONTIGUOUS = np.arange(65, 75, dtype=np.uint8)[::2]


def text_message(position: str, name: str, function: str) -> str:
    return f"string_from_pyobj failed in converting {position} argument`{name}' of _pyQorvane.{function} to C string"


TIM = np.zeros(1, dtype=np.float32)
TEXT_ARGUMENTS = [
    (lambda bad: M.loadmodel(bad), text_message("1st", "modelname", "loadmodel")),
    (lambda bad: M.get_unit_info(bad), text_message("1st", "sattr", "get_unit_info")),
    (lambda bad: M.get_node(bad), text_message("1st", "eid", "get_node")),
    (lambda bad: M.set_col_node(bad, "CH", TIM, TIM), text_message("1st", "eid", "set_col_node")),
    (lambda bad: M.set_col_node("N1", bad, TIM, TIM), text_message("2nd", "mode", "set_col_node")),
    (lambda bad: M.size_ts(bad, "N1", "P"), text_message("1st", "typelt", "size_ts")),
    (lambda bad: M.size_ts("NODE", bad, "P"), text_message("2nd", "eid", "size_ts")),
    (lambda bad: M.size_ts("NODE", "N1", bad), text_message("3rd", "attribut", "size_ts")),
]
TEXT_IDS = ["modelname", "sattr", "get_node-eid", "set_col_node-eid", "mode", "typelt", "size_ts-eid", "attribut"]


@pytest.mark.parametrize("call, message", TEXT_ARGUMENTS, ids=TEXT_IDS)
def test_non_contiguous_array_is_refused_with_the_argument_message(dbl, call, message):
    with pytest.raises(ValueError, match="^" + re.escape(message) + "$"):
        call(NON_CONTIGUOUS)
    assert dbl.ops() == []


@pytest.mark.parametrize("call, message", TEXT_ARGUMENTS, ids=TEXT_IDS)
def test_text_beyond_ascii_is_refused_with_the_argument_message(dbl, call, message):
    with pytest.raises(ValueError, match=re.escape(message)):
        call("r\u00e9seau")
    assert dbl.ops() == []


def test_failing_str_keeps_its_exception_type(dbl):
    with pytest.raises(RuntimeError, match="^" + re.escape(text_message("1st", "eid", "get_node")) + "$"):
        M.get_node(Unprintable())
    assert dbl.ops() == []


def test_bytes_argument_is_not_changed_by_the_call(dbl):
    name = bytes(bytearray(b"N1\x00\x00"))  # a new object, not a shared constant
    M.get_node(name)
    M.loadmodel(name)
    assert name == b"N1\x00\x00"
