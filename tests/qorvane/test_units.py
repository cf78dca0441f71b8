"""Units by the package's quantity words, on a US-unit and an SI model."""
from pathlib import Path

import pytest

import qorvane

NET3 = Path(__file__).parents[1] / "engine" / "data" / "Net3.inp"
# quantity: (unit on Net3, in GPM; unit on the bundled network, in LPS)
UNITS = {"pressure": ("psi", "m"), "head": ("ft", "m"), "elevation": ("ft", "m"), "demand": ("GPM", "LPS"),
         "gas_volume": ("ft3", "m3"), "diameter": ("in", "mm"), "wave_speed": ("ft/s", "m/s"),
         "head_gain": ("ft", "m"), "opening": ("-", "-"), "Q": ("GPM", "LPS")}


def test_units_by_quantity_word(pumping_main):
    for path, column in ((NET3, 0), (pumping_main, 1)):
        with qorvane.Model(path) as model:
            assert {q: model.unit(q) for q in UNITS} == {q: units[column] for q, units in UNITS.items()}
            with pytest.raises(qorvane.UnknownQuantityError, match="no quantity 'pressur'; the quantities are area,") \
                    as caught:
                model.unit("pressur")
            assert isinstance(caught.value, KeyError)
