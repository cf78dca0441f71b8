"""Hypothesis strategies for arbitrary Python arguments: numbers of every size, texts, arrays, sequences, hostile objects."""

from __future__ import annotations

import numpy as np
from hypothesis import strategies as st
from hypothesis.extra import numpy as nps

INT32_MIN = -(2**31)
INT32_MAX = 2**31 - 1

# Integers at and beyond the edges of the 32-bit and 64-bit ranges.
EDGE_INTS = (0, 1, -1, INT32_MAX, INT32_MAX + 1, INT32_MIN, INT32_MIN - 1, 2**63 - 1, 2**63, -(2**63) - 1,
             2**64, 10**30, -(10**30))
EDGE_FLOATS = (0.0, -0.0, 0.1, -1.0, 2.5, -2.9, 1e40, -1e40, 3.4028235e38, 1e-46, float("nan"),
               float("inf"), float("-inf"))
NUMERIC_TEXTS = ("0", "3", "-7", " 12 ", "1.5", "1e3", "2147483648", "nan", "inf", "abc", "", "\u00e9t\u00e9",
                 "0x10", "1_000")


class Boom(Exception):
    """Raised by the hostile objects below; a conversion hands it on with the argument's message."""


class BoomKeyword(Exception):
    """Takes no single message: a conversion that fails with it keeps the exception as it was."""

    def __init__(self, code: int, detail: str) -> None:
        super().__init__(code, detail)


def _raise(*_args):
    raise Boom("raised on purpose")


class Hostile:
    """Named plainly in reports, whatever else it refuses."""

    def __repr__(self) -> str:
        return f"{type(self).__name__}()"


class RaisesOnInt(Hostile):
    __int__ = _raise
    __index__ = _raise


class RaisesOnFloat(Hostile):
    __float__ = _raise


class RaisesOnIndex(Hostile):
    __index__ = _raise


class RaisesOnStr(Hostile):
    __str__ = _raise


class RaisesEverywhere(Hostile):
    __int__ = _raise
    __float__ = _raise
    __index__ = _raise
    __str__ = _raise
    __len__ = _raise
    __getitem__ = _raise
    __iter__ = _raise
    __array__ = _raise


class RaisesOddly(Hostile):
    """Fails with an exception type that cannot be made from a message alone."""

    def __int__(self):
        raise BoomKeyword(7, "odd")

    __float__ = __int__
    __str__ = __int__


class GoodNumber:
    """Converts fine: a number-like object of the caller's own."""

    def __init__(self, value: float) -> None:
        self.value = value

    def __int__(self) -> int:
        return int(self.value)

    def __float__(self) -> float:
        return float(self.value)

    def __index__(self) -> int:
        return int(self.value)

    def __str__(self) -> str:
        return f"num{self.value}"


class OddSequence(Hostile):
    """A sequence whose length and items disagree: its item fetch raises IndexError at once."""

    def __len__(self) -> int:
        return 3

    def __getitem__(self, index):
        raise IndexError(index)


class IntSubclass(int):
    pass


class FloatSubclass(float):
    pass


class StrSubclass(str):
    pass


def self_containing_list() -> list:
    looped: list = []
    looped.append(looped)
    return looped


HOSTILE = (RaisesOnInt(), RaisesOnFloat(), RaisesOnIndex(), RaisesOnStr(), RaisesEverywhere(), RaisesOddly(),
           OddSequence(), object(), {}, {"a": 1}, set(), frozenset({1}), slice(1, 2), Ellipsis, NotImplemented,
           bytearray(b"ab\x00c"), memoryview(b"xy"), range(3), range(0), int, self_containing_list())

# Exception types a call may end with: the frame's own, the conversion rules', numpy's, the hostile objects'.
EXPECTED_ERRORS = (TypeError, ValueError, OverflowError, IndexError, KeyError, UnicodeError, MemoryError,
                   RecursionError, Boom, BoomKeyword)

# Every dtype family numpy has, in both byte orders where that means something.
DTYPES = st.one_of(
    nps.boolean_dtypes(),
    nps.integer_dtypes(endianness="="), nps.integer_dtypes(endianness=">"),
    nps.unsigned_integer_dtypes(endianness="="), nps.unsigned_integer_dtypes(endianness=">"),
    nps.floating_dtypes(endianness="="), nps.floating_dtypes(endianness=">"),
    nps.complex_number_dtypes(endianness="="),
    nps.datetime64_dtypes(), nps.timedelta64_dtypes(),
    nps.byte_string_dtypes(max_len=6), nps.unicode_string_dtypes(max_len=6),
)

MAX_ARRAY_SIDE = 5


@st.composite
def numpy_arrays(draw):
    """Arrays of every dtype and rank 0 to 3, in C order, Fortran order or as strided views."""
    dtype = draw(DTYPES)
    shape = draw(nps.array_shapes(min_dims=0, max_dims=3, min_side=0, max_side=MAX_ARRAY_SIDE))
    array = draw(nps.arrays(dtype, shape))
    layout = draw(st.sampled_from(("c", "fortran", "strided", "reversed", "readonly")))
    if layout == "fortran":
        array = np.asfortranarray(array)
    elif layout == "strided" and array.ndim:
        array = np.repeat(array, 2, axis=0)[::2]
    elif layout == "reversed" and array.ndim:
        array = array[::-1]
    elif layout == "readonly":
        array.flags.writeable = False
    return array


def numpy_scalars():
    return st.one_of(
        st.integers(INT32_MIN, INT32_MAX).map(np.int32),
        st.integers(-(2**63), 2**63 - 1).map(np.int64),
        st.floats(width=32).map(np.float32),
        st.floats().map(np.float64),
        st.complex_numbers(allow_nan=True).map(np.complex128),
        st.booleans().map(np.bool_),
    )


def scalars():
    return st.one_of(
        st.none(),
        st.booleans(),
        st.sampled_from(EDGE_INTS),
        st.integers(),
        st.integers(-1000, 1000).map(IntSubclass),
        st.sampled_from(EDGE_FLOATS),
        st.floats(),
        st.floats(allow_nan=False).map(FloatSubclass),
        st.complex_numbers(allow_nan=True, allow_infinity=True),
        st.sampled_from(NUMERIC_TEXTS),
        st.text(max_size=40),
        st.text(max_size=10).map(StrSubclass),
        st.binary(max_size=40),
        st.sampled_from(NUMERIC_TEXTS).map(lambda text: text.encode("utf-8")),
        st.floats(allow_nan=False, allow_infinity=False).map(GoodNumber),
        st.sampled_from(HOSTILE),
        numpy_scalars(),
    )


def python_objects():
    """Scalars, arrays and lists or tuples of them, nested a little."""
    leaves = st.one_of(scalars(), numpy_arrays())
    return st.recursive(
        leaves,
        lambda children: st.one_of(st.lists(children, max_size=4), st.lists(children, max_size=4).map(tuple)),
        max_leaves=8,
    )


def float_sequences():
    """Objects that make a one-axis float series more often than not, to reach past the array conversion."""
    elements = st.floats(width=32)
    return st.one_of(
        st.lists(elements, max_size=8),
        st.lists(elements, max_size=8).map(tuple),
        st.tuples(nps.arrays(np.float64, st.integers(0, 8), elements=st.floats(-100, 100)),
                  st.sampled_from((np.float32, np.float64, np.int32, np.int8, np.float16, ">f4")))
        .map(lambda pair: pair[0].astype(pair[1])),
        elements,
    )
