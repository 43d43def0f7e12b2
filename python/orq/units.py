"""The unit column of the data IDs read as a number a person can use, by the same rule as every C++ tool
(tools/common/DataUnit): "0.1 degC" is a scale of 0.1 and the symbol "degC", so the raw integer 215 is
21.5 degC, shown with as many decimals as the scale has."""
import math


class Unit:
    """One unit column: ``"[SCALE ]SYMBOL"``, ``"raw"`` (unit not known) or ``""`` (no unit: codes, flags,
    counts), read into ``column`` (as given), ``symbol``, ``scale`` (1.0 without one) and ``decimals``
    (those that show every step of the scale). Not changed once made."""

    def __init__(self, column):
        """Reads ``column``; text before a space that is no positive number makes the whole column the symbol."""
        self.column = column
        self.symbol, self.scale, self.decimals = column, 1.0, 0
        number, space, symbol = column.partition(" ")
        if not space or "_" in number:
            return
        try:
            scale = float(number)
        except ValueError:
            return
        if not scale > 0:
            return
        self.symbol, self.scale = symbol, scale
        # The decimals that show every step of the scale: 1 for 0.1, 7 for 1e-7.
        self.decimals = 0 if scale >= 1 else round(math.ceil(-math.log10(scale) - 1e-9))

    @property
    def known(self):
        """False for "raw": the integer as received."""
        return self.symbol != "raw"

    def value(self, raw):
        """The value of the raw integer in the unit (raw x scale)."""
        return raw * self.scale

    def format(self, raw):
        """The value with ``decimals`` decimals ("21.5"); the integer itself for a scale of 1."""
        if self.decimals == 0 and self.scale == 1.0:
            return str(int(raw))
        return "%.*f" % (self.decimals, self.value(raw))

    def with_symbol(self, raw):
        """``format`` and the symbol, as a person reads it ("21.5 degC", "17 raw", "3" without a unit)."""
        return f"{self.format(raw)} {self.symbol}" if self.symbol else self.format(raw)

    def __repr__(self):
        """The column it was read from."""
        return f"Unit({self.column!r})"
