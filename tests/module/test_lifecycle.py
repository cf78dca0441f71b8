"""Opening, loading and closing the engine: calls made, bytes handed over and module variables after each."""

import numpy as np
import pytest

import _pyQorvane as M
from support import padded, variables

OPENING = ["OpenQorvaneAPI", "QorvaneInit", "GetNumeroVersion"]
SILENT_LEVEL = -1
MODEL_PATH_LEN = 261
PATH_TOO_LONG = -261
LONG_PATH = "/models/" + "r" * (MODEL_PATH_LEN - len("/models/")) + "x   "  # 262 significant characters
QOR_ID_LEN = 48
VERSION_FIELD_LEN = 5
BLANK_VERSION = b" " * 4
BLANK_ID = b" " * QOR_ID_LEN


@pytest.fixture
def opened(dbl):
    """The engine open at debug level 0, with a journal emptied afterwards."""
    M.init(0)
    dbl.reset()
    return dbl


def select_curve_by_hand(typelt=40, attr=2, qor_id=b"PIPE7"):
    M.pyvuzizi.qor_typelt[()] = typelt
    M.pyvuzizi.qor_attr[()] = attr
    M.pyvuzizi.qor_id = padded(qor_id, QOR_ID_LEN)


class TestInit:
    @pytest.mark.parametrize("level, passed", [(3, 3), (1, 1), (0, SILENT_LEVEL), (-5, SILENT_LEVEL),
                                               (2**31 - 1, 2**31 - 1), (-2**31, SILENT_LEVEL)])
    def test_opening_sequence_and_level(self, dbl, level, passed):
        M.init(level)
        assert dbl.ops() == OPENING
        assert dbl.calls_of("OpenQorvaneAPI")[0].i32(0) == passed
        assert int(M.pyvuzizi.debug) == level

    @pytest.mark.parametrize("open_status, version_status, engine_text, pvers, stored", [
        (1, 1, b"2.2.5", b"2.2.", b"2.2."),
        (1, 1, b"V1   ", b"V1", b"V1  "),
        (1, 1, b" 1 2X", b" 1 2", b" 1 2"),
        (1, 1, b"AB\x00CD", b"AB", b"AB\x00C"),
        (1, 1, b"\x00\x00\x00\x00\x00", b"", b"\x00" * 4),
        (3, 5, b"1234X", b"1234", b"1234"),
        (-1, -3, b"NEG15", b"NEG1", b"NEG1"),
        (1, 0, b"2.2.5", b"", BLANK_VERSION),
        (0, 1, b"2.2.5", b"", BLANK_VERSION),
        (2, 1, b"2.2.5", b"", BLANK_VERSION),
        (1, 2**31 - 1, b"9.9.9", b"9.9.", b"9.9."),
    ])
    def test_version(self, dbl, open_status, version_status, engine_text, pvers, stored):
        dbl.returns("OpenQorvaneAPI", open_status)
        dbl.returns("GetNumeroVersion", version_status)
        dbl.writes("GetNumeroVersion", 0, engine_text)
        assert M.init(1) == pvers
        assert variables(M)["vers_qordll"] == stored
        assert variables(M)["stat_qordll"] == open_status

    def test_failed_opening_still_prepares_and_reads_the_version(self, dbl):
        dbl.returns("OpenQorvaneAPI", 0)
        assert M.init(2) == b""
        assert dbl.ops() == OPENING
        assert variables(M)["stat_qordll"] == 0
        assert variables(M)["debug"] == 2

    def test_version_field_keeps_what_the_engine_last_wrote(self, dbl):
        dbl.writes("GetNumeroVersion", 0, b"ABCDE")
        M.init(1)
        dbl.reset()
        assert M.init(1) == b"ABCD"
        assert dbl.calls_of("GetNumeroVersion")[0].args[0] == b"ABCDE"

    def test_opening_clears_the_curve_selection(self, dbl):
        select_curve_by_hand()
        M.init(1)
        assert variables(M)["qor_typelt"] == 0
        assert variables(M)["qor_attr"] == 0
        assert variables(M)["qor_id"] == BLANK_ID

    def test_repeated_init_reopens_without_closing(self, dbl):
        M.init(1)
        M.init(4)
        assert dbl.ops() == OPENING + OPENING
        assert [call.i32(0) for call in dbl.calls_of("OpenQorvaneAPI")] == [1, 4]

    def test_keyword_form(self, dbl):
        M.init(debuglevel=2)
        assert dbl.calls_of("OpenQorvaneAPI")[0].i32(0) == 2


class TestQuit:
    @pytest.mark.parametrize("close_status", [1, 0])
    def test_closes_and_forgets_status_and_version(self, opened, close_status):
        opened.returns("CloseQorvane", close_status)
        M.pyvuzizi.debug[()] = 3
        select_curve_by_hand()
        before = variables(M)
        assert M.quit() is None
        assert opened.ops() == ["CloseQorvane"]
        after = variables(M)
        assert after["stat_qordll"] == 0
        assert after["vers_qordll"] == BLANK_VERSION
        untouched = ("debug", "qor_typelt", "qor_attr", "qor_id", "sz_sid", "sz_lid")
        assert {name: after[name] for name in untouched} == {name: before[name] for name in untouched}

    def test_quit_when_closed_still_closes(self, dbl):
        M.quit()
        dbl.reset()
        M.quit()
        assert dbl.ops() == ["CloseQorvane"]


def path_sent(dbl) -> bytes:
    (call,) = dbl.calls_of("OuvrirReseau")
    return call.args[0]


class TestLoadModel:
    @pytest.mark.parametrize("modelname, field", [
        ("net.qor", b"net.qor"),
        ("net.qor   ", b"net.qor"),
        ("  lead in", b"  lead in"),
        ("a b", b"a b"),
        ("", b""),
        ("p" * MODEL_PATH_LEN, b"p" * MODEL_PATH_LEN),
        ("q" * MODEL_PATH_LEN + "   ", b"q" * MODEL_PATH_LEN),
    ], ids=["plain", "trailing-blanks", "leading-blanks", "inner-blank", "empty", "full", "full-blanks"])
    def test_path_field_handed_to_the_engine(self, opened, modelname, field):
        M.loadmodel(modelname)
        assert opened.ops() == ["OuvrirReseau"]
        assert path_sent(opened) == padded(field, MODEL_PATH_LEN) + b"\x00"

    @pytest.mark.parametrize("level, line", [(0, ""), (1, "  * Path too long:" + LONG_PATH + "\n")])
    def test_path_longer_than_the_field_is_refused(self, dbl, capsys, level, line):
        # Cut to the field, the path would name another file.
        M.init(level)
        dbl.reset()
        capsys.readouterr()
        before = variables(M)
        assert M.loadmodel(LONG_PATH) == PATH_TOO_LONG
        assert dbl.ops() == []
        assert capsys.readouterr().out == line
        assert variables(M) == before
        M.quit()
        dbl.reset()
        assert M.loadmodel(LONG_PATH) == PATH_TOO_LONG
        assert dbl.ops() == []  # not even the lazy opening

    def test_shorter_path_overwrites_a_longer_one(self, opened):
        M.loadmodel("x" * 200)
        opened.reset()
        M.loadmodel("short")
        assert path_sent(opened) == padded(b"short", MODEL_PATH_LEN) + b"\x00"

    @pytest.mark.parametrize("status", [0, 1, 2, -3, 2**31 - 1, -2**31])
    def test_engine_result_is_returned_unchanged(self, opened, status):
        opened.returns("OuvrirReseau", status)
        assert M.loadmodel("net.qor") == status

    def test_load_changes_no_module_variable(self, opened):
        select_curve_by_hand()
        before = variables(M)
        opened.returns("OuvrirReseau", 0)
        M.loadmodel("net.qor")
        assert variables(M) == before

    def test_keyword_form(self, opened):
        M.loadmodel(modelname="kw.qor")
        assert path_sent(opened) == padded(b"kw.qor", MODEL_PATH_LEN) + b"\x00"


class TestLazyOpening:
    @pytest.fixture
    def closed(self, dbl):
        M.init(3)
        M.quit()
        select_curve_by_hand()
        dbl.reset()
        return dbl

    def test_load_opens_a_closed_engine_silently(self, closed):
        closed.writes("GetNumeroVersion", 0, b"4.5.6")
        closed.returns("OuvrirReseau", 9)
        assert M.loadmodel("net.qor") == 9
        assert closed.ops() == OPENING + ["OuvrirReseau"]
        assert closed.calls_of("OpenQorvaneAPI")[0].i32(0) == SILENT_LEVEL
        after = variables(M)
        assert after["debug"] == 0
        assert after["stat_qordll"] == 1
        assert after["vers_qordll"] == b"4.5."
        assert (after["qor_typelt"], after["qor_attr"], after["qor_id"]) == (0, 0, BLANK_ID)

    def test_failed_opening_still_hands_over_the_model_and_retries_next_time(self, closed):
        closed.returns("OpenQorvaneAPI", 4)
        M.loadmodel("a.qor")
        M.loadmodel("b.qor")
        assert closed.ops() == (OPENING + ["OuvrirReseau"]) * 2
        assert variables(M)["stat_qordll"] == 4
        assert variables(M)["vers_qordll"] == BLANK_VERSION

    def test_failed_init_then_load_runs_at_level_zero(self, dbl):
        dbl.returns("OpenQorvaneAPI", 0)
        M.init(2)
        assert int(M.pyvuzizi.debug) == 2
        M.loadmodel("net.qor")
        assert int(M.pyvuzizi.debug) == 0
        assert [call.i32(0) for call in dbl.calls_of("OpenQorvaneAPI")] == [2, SILENT_LEVEL]

    def test_status_cleared_by_hand_reopens_at_next_load(self, opened):
        M.pyvuzizi.stat_qordll = 0
        M.loadmodel("net.qor")
        assert opened.ops() == OPENING + ["OuvrirReseau"]

    def test_open_engine_is_not_reopened(self, opened):
        opened.returns("OpenQorvaneAPI", 0)  # would close it again if called
        M.loadmodel("net.qor")
        M.loadmodel("net.qor")
        assert opened.ops() == ["OuvrirReseau", "OuvrirReseau"]


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


@pytest.mark.parametrize("engine_open", [True, False], ids=["open", "closed"])
@pytest.mark.parametrize("call, exception", [
    (lambda: M.init(None), TypeError),
    (lambda: M.init("level"), ValueError),
    (lambda: M.init(2**40), OverflowError),
    (lambda: M.loadmodel(np.arange(8, dtype=np.uint8)[::2]), ValueError),
    (lambda: M.loadmodel(Unprintable()), RuntimeError),
], ids=["init-none", "init-text", "init-overflow", "loadmodel-strided", "loadmodel-unprintable"])
def test_refused_argument_reaches_no_engine_and_changes_nothing(dbl, engine_open, call, exception):
    M.init(2)
    if not engine_open:
        M.quit()
    dbl.reset()
    before = variables(M)
    with pytest.raises(exception):
        call()
    assert dbl.ops() == []
    assert variables(M) == before


# State at load, each case in a new interpreter.

def test_variables_at_load(fresh):
    run = fresh("""
        from support import variables
        result = {name: (value.hex() if isinstance(value, bytes) else value)
                  for name, value in variables(M).items()}
        result["calls"] = dbl.ops()
    """)
    assert run.value == {"sz_sid": 18, "sz_lid": 48, "stat_qordll": 0, "debug": 0, "qor_typelt": 0,
                         "qor_attr": 0, "qor_id": "00" * QOR_ID_LEN, "vers_qordll": "00" * 4, "calls": []}


def test_first_init_without_a_version_written(fresh):
    run = fresh("""
        from support import variables
        pvers = M.init(1)
        (version_call,) = dbl.calls_of("GetNumeroVersion")
        result = [pvers.hex(), version_call.args[0].hex(), variables(M)["vers_qordll"].hex()]
    """)
    assert run.value == ["", "00" * VERSION_FIELD_LEN, "00" * 4]


def test_first_load_before_any_init(fresh):
    run = fresh("""
        from support import variables
        dbl.writes("GetNumeroVersion", 0, b"7.0.1")
        M.pyvuzizi.debug[()] = 5
        status = M.loadmodel("first.qor")
        values = variables(M)
        result = {"status": status, "ops": dbl.ops(), "level": dbl.calls_of("OpenQorvaneAPI")[0].i32(0),
                  "path": dbl.calls_of("OuvrirReseau")[0].args[0].hex(), "debug": values["debug"],
                  "stat": values["stat_qordll"], "vers": values["vers_qordll"].hex(),
                  "typelt": values["qor_typelt"], "attr": values["qor_attr"], "qor_id": values["qor_id"].hex()}
    """)
    assert run.value == {
        "status": 0, "ops": OPENING + ["OuvrirReseau"], "level": SILENT_LEVEL,
        "path": (padded(b"first.qor", MODEL_PATH_LEN) + b"\x00").hex(), "debug": 0, "stat": 1,
        "vers": b"7.0.".hex(), "typelt": 0, "attr": 0, "qor_id": BLANK_ID.hex()}


def test_quit_before_init(fresh):
    run = fresh("""
        from support import variables
        M.quit()
        values = variables(M)
        result = [dbl.ops(), values["stat_qordll"], values["vers_qordll"].hex(), values["qor_id"].hex()]
    """)
    assert run.value == [["CloseQorvane"], 0, BLANK_VERSION.hex(), "00" * QOR_ID_LEN]


def test_whole_session_prints_nothing(fresh):
    run = fresh("""
        dbl.returns("OpenQorvaneAPI", 0)
        M.init(3)
        M.loadmodel("missing.qor")
        M.quit()
    """)
    assert run.out == ""
