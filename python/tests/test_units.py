"""Units of the data IDs: the same reading of the unit column as the C++ tools' (tools/common/DataUnit), held
to that class's own table of cases in tests/test_data_units.cpp."""
import os
import re

import pytest

import orq

FB = orq.FlightBoard


def data_unit_cases():
    """The cases of DataUnit's table: (column, raw, shown, known)."""
    with open(os.path.join(os.environ["ORQ_SOURCE_DIR"], "tests/test_data_units.cpp"), encoding="utf-8") as test:
        cases = re.findall(r'\{"([^"]*)", (-?\d+), "([^"]*)", (true|false)\}', test.read())
    assert len(cases) >= 10, "the table of cases in test_data_units.cpp is no longer found"
    return [(column, int(raw), shown, known == "true") for column, raw, shown, known in cases]


@pytest.mark.parametrize("column, raw, shown, known", data_unit_cases())
def test_a_raw_integer_reads_as_the_cpp_tools_show_it(column, raw, shown, known):
    unit = orq.Unit(column)
    assert (unit.with_symbol(raw), unit.known) == (shown, known)


@pytest.mark.parametrize("member, raw, scale, symbol, value, shown", [
    (FB.TEMPERATURE, 215, 0.1, "degC", 21.5, "21.5 degC"),
    (FB.LATITUDE, 474000000, 1e-7, "deg", 47.4, "47.4000000 deg"),
    (FB.ALTITUDE, -51900, 0.01, "m", -519.0, "-519.00 m"),
    (FB.PRESSURE, 95432, 1.0, "Pa", 95432, "95432 Pa"),
    (FB.COMPASS_X, -17, 1.0, "raw", -17, "-17 raw"),
    (FB.GPS_MODE, 2, 1.0, "", 2, "2"),
    (orq.GroundStation.ACC_Z, 981, 0.001, "g", 0.981, "0.981 g"),
    (orq.LinkStatistic.RECEIVED_BYTES, 70000, 1.0, "bytes", 70000, "70000 bytes"),
])
def test_data_ids_carry_the_scale_and_symbol_of_their_row(member, raw, scale, symbol, value, shown):
    assert (member.scale, member.symbol) == (scale, symbol)
    assert member.to_unit(raw) == pytest.approx(value)
    assert member.format(raw) == shown


def test_every_row_has_a_scale_and_a_symbol_without_a_blank():
    for enum in (FB, orq.GroundStation, orq.LinkStatistic):
        for member in enum:
            assert member.scale > 0 and " " not in member.symbol, member
