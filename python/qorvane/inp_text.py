"""The engine's rule for splitting a model file into sections, lines and fields, for the package's reader.

Lines end at a line feed. A `;` starts a comment. The rest of the line is trimmed of blanks, tabs,
carriage returns, form feeds and vertical tabs; fields inside it are separated by blanks, tabs and
carriage returns only, so every other character (a no-break space, a form feed between two words, any
byte that is not UTF-8) belongs to the field it is in. A line starting with `[` is a section header:
its name runs to the first `]`, is trimmed the same way and compared ignoring ASCII case. Reading stops
at `[END]`. The file is read as bytes; text is decoded as UTF-8 with undecodable bytes kept as they
are, so an identifier encodes back to the exact bytes the engine saw.
"""
from __future__ import annotations

import math
import re
from collections.abc import Iterator
from dataclasses import dataclass

UTF8_MARK = "\ufeff"
COMMENT_MARK = ";"
END_SECTION = "END"
LINE_END = "\n"
TRIMMED = " \t\r\n\f\v"  # taken off both ends of a line and of a section name
FIELD_SEPARATORS = " \t\r"  # the only characters that separate fields
# What the engine's number reader takes: not '1_0', 'inf', '0x1' or non-ASCII digits, which float() would.
_PLAIN_DECIMAL = re.compile(r"-?([0-9]+\.?[0-9]*|\.[0-9]+)([eE][+-]?[0-9]+)?")
_ASCII_UPPER = str.maketrans("abcdefghijklmnopqrstuvwxyz", "ABCDEFGHIJKLMNOPQRSTUVWXYZ")


@dataclass(frozen=True)
class DataLine:
    """A data line of a section: its 1-based line number, section name in upper case, and fields."""

    number: int
    section: str
    fields: tuple[str, ...]


def decode(data: bytes) -> str:
    """The file's text, without the UTF-8 mark some editors write first."""
    return data.decode("utf-8", "surrogateescape").removeprefix(UTF8_MARK)


def ascii_upper(text: str) -> str:
    """Upper case of ASCII letters only, as the engine compares keywords (str.upper maps 'ß' to 'SS')."""
    return text.translate(_ASCII_UPPER)


def split_fields(content: str) -> tuple[str, ...]:
    fields: list[str] = []
    start = None
    for i, char in enumerate(content):
        if char in FIELD_SEPARATORS:
            if start is not None:
                fields.append(content[start:i])
                start = None
        elif start is None:
            start = i
    if start is not None:
        fields.append(content[start:])
    return tuple(fields)


def data_lines(text: str) -> Iterator[DataLine]:
    """The data lines of every section, in file order, up to [END]. Data before the first header, a header
    without `]` and text after a header are load errors of the engine; they are passed over here."""
    section = ""
    for number, line in enumerate(text.split(LINE_END), start=1):
        content = line.split(COMMENT_MARK, 1)[0].strip(TRIMMED)
        if not content:
            continue
        if content.startswith("["):
            close = content.find("]")
            section = ascii_upper(content[1:close].strip(TRIMMED)) if close >= 0 else ""
            if section == END_SECTION:
                return
            continue
        if section:
            yield DataLine(number, section, split_fields(content))


def parse_number(field: str) -> float | None:
    """The field as the engine reads a number (one leading '+' allowed, plain decimal, finite), or None."""
    body = field.removeprefix("+")
    if not _PLAIN_DECIMAL.fullmatch(body):
        return None
    value = float(body)
    return value if math.isfinite(value) else None
