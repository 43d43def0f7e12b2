"""Data IDs by name, one ``IntEnum`` per device type.

Made from the rows of the library's list of data IDs (DataIds.def, the same
list the C++ data maps are tested against), so a name never drifts from its
number. Every member also carries the row's ``unit``, ``text``, ``readable``
and ``writable``.
"""
import enum

from ._data_ids import ROWS


class DataId(enum.IntEnum):
    """Base of the data-ID enums: an int usable wherever the library takes a data ID."""

    @property
    def unit(self):
        """The unit the protocol implies ("" where it implies none)."""
        return type(self)._rows[self.value][1]

    @property
    def text(self):
        """What the value is."""
        return type(self)._rows[self.value][2]

    @property
    def readable(self):
        """Whether the library reads this data ID."""
        return "R" in type(self)._rows[self.value][0]

    @property
    def writable(self):
        """Whether the library sets this data ID."""
        return "W" in type(self)._rows[self.value][0]


def _make(device, name, doc):
    rows = [row for row in ROWS if row[0] == device]
    cls = DataId(name, [(row[2], row[1]) for row in rows], module=__name__)
    cls._rows = {row[1]: (row[3], row[4], row[5]) for row in rows}
    cls.__doc__ = doc
    return cls


FlightBoard = _make("FLIGHT_BOARD", "FlightBoard", "Data IDs of a flight board (type code 1).")
GroundStation = _make("GROUND_STATION", "GroundStation", "Data IDs of a ground station (type code 0).")
LinkStatistic = _make("LINK", "LinkStatistic",
                      "Data IDs of the link statistics, read at the library's own ID (see Link.statistics).")
