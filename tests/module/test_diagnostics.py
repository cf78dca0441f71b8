"""Diagnostic lines: where they go, their order among Python's own output, and no cut for long items."""
import contextlib
import io
import threading

import numpy as np
import pytest

import _pyQorvane as M


def at_debug(dbl, level):
    M.init(level)
    dbl.reset()


def test_lines_go_to_the_current_sys_stdout(dbl):
    at_debug(dbl, 2)
    dbl.returns("IndiceNoeudQor", -1)
    sink = io.StringIO()
    with contextlib.redirect_stdout(sink):
        M.get_node("N1")
        M.size_ts("NODE", "N1", "P")
    assert sink.getvalue() == "  * Unknown node:N1\n Seeking P from NODE N1\n"


def test_lines_keep_their_place_among_prints(dbl, capsys):
    at_debug(dbl, 1)
    capsys.readouterr()
    dbl.returns("IndiceNoeudQor", -1)
    print("before")
    M.get_node("A")
    print("between")
    M.set_col_node("B", "xx", [1.0], [1.0])
    print("after")
    assert capsys.readouterr().out == "before\n  * Unknown node:A\nbetween\n  * Unknow condition:xx\nafter\n"


@pytest.mark.parametrize("length", [81, 999, 1000, 1001, 5000])
def test_long_items_are_written_whole(dbl, capsys, length):
    at_debug(dbl, 2)
    capsys.readouterr()
    word = "W" * (length - 1) + "!"
    M.size_ts(word, "N1", "P")
    M.size_ts("NODE", "N1", word)
    M.get_node(word)
    out = capsys.readouterr().out.replace("\n", "")
    # However a long line is broken, no character of it is lost or added.
    assert out == "  * Unknown TYPELT:" + word + "  * Unknown ATTRIBUT:" + word + "  * Identifier too long:" + word


def test_trace_line_with_a_long_identifier(dbl, capsys):
    at_debug(dbl, 2)
    capsys.readouterr()
    eid = "E" * 48
    M.size_ts("RESERVOIR", eid, "VO")
    assert capsys.readouterr().out.replace("\n", "") == " Seeking VO from RESERVOIR " + eid


def test_lines_in_a_fresh_interpreter_reach_standard_output_in_order(fresh):
    r = fresh(
        """
import sys
dbl.returns("IndiceNoeudQor", -3)
dbl.returns("RunCalculQor", 0)
M.init(1)
print("one")
M.get_node("N1 ")
sys.stdout.write("two\\n")
M.run_simulation(1.0, 1.0)
print("three")
"""
    )
    assert r.out == "one\n  * Unknown node:N1 \ntwo\n  * Error running simulation\nthree\n"


def test_negative_debug_writes_nothing(dbl, capsys):
    at_debug(dbl, -3)
    capsys.readouterr()
    dbl.returns("IndiceNoeudQor", -1)
    dbl.returns("RunCalculQor", 0)
    M.get_node("N1")
    M.run_simulation(1.0, 1.0)
    M.size_ts("ROB", "N1", "P")
    M.set_col_node("N1", "ch", np.array([1.0], np.float32), np.array([1.0], np.float32))
    assert capsys.readouterr().out == ""


def curve_ids_selected(dbl):
    return [call.args[0][8:8 + 2] for call in dbl.calls_of("SetInfoCourbe")]


@pytest.mark.parametrize("from_thread", [False, True], ids=["from-the-stream", "from-another-thread"])
def test_no_call_runs_between_a_routines_engine_calls(dbl, from_thread):
    # The trace line comes between filling the selection record and handing it to the engine.
    at_debug(dbl, 2)

    def other_call():
        M.size_ts("NODE", "J9", "Q")

    class Meddling(io.StringIO):
        meddled = False

        def write(self, text):
            if not self.meddled:
                self.meddled = True
                if from_thread:
                    worker = threading.Thread(target=other_call)
                    worker.start()
                    worker.join()
                else:
                    other_call()
            return super().write(text)

    sink = Meddling()
    with contextlib.redirect_stdout(sink):
        M.size_ts("NODE", "J5", "P")
    assert dbl.ops() == ["SetInfoCourbe", "GetNbPtUneCourbe"] * 2
    assert curve_ids_selected(dbl) == [b"J5", b"J9"]
    assert sorted(sink.getvalue().splitlines()) == [" Seeking P from NODE J5", " Seeking Q from NODE J9"]


def test_stream_replaced_while_a_line_is_written(fresh):
    r = fresh(
        """
import sys
class Replacing:
    def write(self, text):
        sys.stdout = sys.__stdout__  # drops the last reference to this stream
        return len(text)
    def flush(self):
        pass
dbl.returns("IndiceNoeudQor", -1)
M.init(1)
sys.stdout = Replacing()
M.get_node("N1")
M.get_node("N2")
"""
    )
    assert r.out == "  * Unknown node:N2\n"


class Buffer:
    def __init__(self, write_error, flush_error):
        self.taken, self.write_error, self.flush_error = [], write_error, flush_error

    def write(self, data):
        if self.write_error:
            raise self.write_error()
        self.taken.append(data)
        return len(data)

    def flush(self):
        if self.flush_error:
            raise self.flush_error()


class BufferedStream:
    def __init__(self, buffer):
        self.buffer = buffer

    def flush(self):
        pass


LINE = b"  * Error running simulation\n"


@pytest.mark.parametrize("write_error, flush_error, taken, raised", [
    (None, OSError, [LINE], None),
    (OSError, None, [], None),
    (KeyboardInterrupt, None, [], KeyboardInterrupt),
    (None, KeyboardInterrupt, [LINE], KeyboardInterrupt),
], ids=["flush-fails", "write-fails", "write-interrupted", "flush-interrupted"])
def test_each_line_is_written_once_and_interruptions_propagate(dbl, capfd, write_error, flush_error, taken,
                                                               raised):
    at_debug(dbl, 1)
    dbl.returns("RunCalculQor", 0)
    capfd.readouterr()
    buffer = Buffer(write_error, flush_error)
    with contextlib.redirect_stdout(BufferedStream(buffer)):
        if raised:
            with pytest.raises(raised):
                M.run_simulation(1.0, 1.0)
        else:
            assert M.run_simulation(1.0, 1.0) == 0
    assert dbl.ops()[-1] == "RunCalculQor"  # the routine finished before the interruption was raised
    assert buffer.taken == taken
    assert capfd.readouterr().out == ("" if taken else LINE.decode())


class ShortWriting(io.RawIOBase):
    """A raw stream that takes at most `chunk` bytes per write, and none (None, or BlockingIOError from a
    buffered stream that kept `chunk` bytes) once it has taken `capacity` bytes."""

    def __init__(self, chunk, capacity, refusal):
        super().__init__()
        self.taken, self.chunk, self.capacity, self.refusal = bytearray(), chunk, capacity, refusal

    def writable(self):
        return True

    def write(self, data):
        room = min(self.chunk, self.capacity - len(self.taken), len(data))
        if room <= 0 and self.refusal == "none":
            return None
        if self.refusal == "blocking" and len(self.taken) + len(data) > self.capacity:
            room = max(room, 0)
            self.taken += bytes(data[:room])
            raise BlockingIOError(0, "would block", room)
        self.taken += bytes(data[:room])
        return room


@pytest.mark.parametrize("chunk, capacity, refusal", [
    (3, 1000, "none"),
    (1, 1000, "none"),
    (1000, 0, "none"),
    (2, 5, "none"),
    (1000, 5, "blocking"),
], ids=["three-bytes-a-call", "one-byte-a-call", "takes-nothing", "a-part-then-nothing", "blocking-after-a-part"])
def test_a_short_write_loses_no_byte(dbl, capfd, chunk, capacity, refusal):
    at_debug(dbl, 1)
    dbl.returns("IndiceNoeudQor", -1)
    capfd.readouterr()
    raw = ShortWriting(chunk, capacity, refusal)
    with contextlib.redirect_stdout(BufferedStream(raw)):
        M.get_node("NOPE")
        M.get_node("AGAIN")
    expected = "  * Unknown node:NOPE\n  * Unknown node:AGAIN\n"
    # What the stream did not take follows on the process's standard output, nothing twice.
    taken = bytes(raw.taken).decode()
    assert taken == expected[:len(taken)]
    assert taken + capfd.readouterr().out == expected
    assert len(taken) == min(capacity, len(expected))
