"""Data IDs by name, one ``IntEnum`` per device type.

Made from the rows of the library's list of data IDs (DataIds.def, shipped in
this package and read when it is imported, the same list the C++ data maps
are tested against), so a name never drifts from its number. Every member
also carries the row's ``unit`` column, its ``scale`` and ``symbol``,
``text``, ``readable`` and ``writable``, and turns a raw value into the value
in its unit.
"""
import enum
import os
import re

from .units import Unit

_DEF_FILE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "DataIds.def")
_ROW = re.compile(r'^ORQ_DATA_ID\(([A-Z_]+), ([0-9]+), ([A-Z0-9_]+), (RW|R|W), "([^"\\]*)", "([^"\\]*)"\)$')


def _read_rows(path):
    """The rows of the list as (device, ID, name, access, unit, text); a row this cannot read is an error
    rather than a name silently lost."""
    rows = []
    with open(path, encoding="utf-8") as lines:
        for number, line in enumerate(lines, 1):
            if line.startswith("ORQ_DATA_ID"):
                match = _ROW.match(line.rstrip("\n"))
                if not match:
                    raise ImportError(f"{path}:{number}: cannot read the data-ID row: {line.strip()}")
                device, data_id, name, access, unit, text = match.groups()
                rows.append((device, int(data_id), name, access, unit, text))
    return rows


class DataId(enum.IntEnum):
    """Base of the data-ID enums: an int usable wherever the library takes a data ID."""

    @property
    def unit(self):
        """The row's unit column as DataIds.def spells it ("0.1 degC", "raw", "")."""
        return self._row()[1].column

    @property
    def scale(self):
        """What one step of the raw integer is worth in ``symbol`` (1.0 where the column names no scale)."""
        return self._row()[1].scale

    @property
    def symbol(self):
        """The unit's symbol ("degC"), "raw" where the unit is not known, "" for a value without a unit."""
        return self._row()[1].symbol

    def to_unit(self, raw):
        """The raw integer the library reads as the value in the unit: raw x scale (215 -> 21.5 for 0.1 degC)."""
        return self._row()[1].value(raw)

    def format(self, raw):
        """The raw integer as a person reads it, with the decimals of the scale and the symbol ("21.5 degC")."""
        return self._row()[1].with_symbol(raw)

    @property
    def text(self):
        """What the value is."""
        return self._row()[2]

    @property
    def readable(self):
        """Whether the library reads this data ID."""
        return "R" in self._row()[0]

    @property
    def writable(self):
        """Whether the library sets this data ID."""
        return "W" in self._row()[0]

    def _row(self):
        """(access, Unit, text) of this member."""
        return type(self)._rows[int(self)]


ROWS = _read_rows(_DEF_FILE)


def _make(device, name, doc):
    rows = [row for row in ROWS if row[0] == device]
    cls = DataId(name, [(row[2], row[1]) for row in rows], module=__name__)
    cls._rows = {row[1]: (row[3], Unit(row[4]), row[5]) for row in rows}
    cls.__doc__ = doc
    return cls


FlightBoard = _make("FLIGHT_BOARD", "FlightBoard", "Data IDs of a flight board (type code 1).")
GroundStation = _make("GROUND_STATION", "GroundStation", "Data IDs of a ground station (type code 0).")
LinkStatistic = _make("LINK", "LinkStatistic",
                      "Data IDs of the link statistics, read at the library's own ID (see Link.statistics).")
