"""The ctypes records the bench hands the engine have the offsets and sizes the shared header asserts."""

import ctypes
import re
from pathlib import Path

import pytest

import engine_ctypes as E

RECORDS_H = Path(__file__).resolve().parents[2] / "engine" / "records.h"
OFFSET = re.compile(r'offsetof\((\w+), (\w+)\) == (\d+)')
SIZE = re.compile(r'sizeof\((\w+)\) == (\d+)')
RECORDS = {"UnitRecord": E.UnitRecord, "NodeRecord": E.NodeRecord, "NodePoint": E.NodePoint,
           "CalcParamRecord": E.CalcParamRecord, "CurveSelectRecord": E.CurveSelectRecord}

HEADER = RECORDS_H.read_text()


@pytest.mark.parametrize("record, field, offset", OFFSET.findall(HEADER))
def test_field_offset(record, field, offset):
    assert getattr(RECORDS[record], field).offset == int(offset)


@pytest.mark.parametrize("record, size", SIZE.findall(HEADER))
def test_record_size(record, size):
    assert ctypes.sizeof(RECORDS[record]) == int(size)


def test_every_record_of_the_header_is_mirrored():
    assert {record for record, _, _ in OFFSET.findall(HEADER)} <= set(RECORDS)
