"""Checks of what goes to the library: a value it cannot take unchanged is refused before the call."""
import operator
import os

# The library takes C ints: anything outside would wrap silently (2**32 + 2 arrives as 2).
_INT_MIN = -2**31
_INT_MAX = 2**31 - 1


def c_int(value, what):
    """``value`` as an int the library receives unchanged; raises ``TypeError`` for anything that is
    not an integer (a float such as 2.7 is never truncated) and ``ValueError`` outside the C int range.
    A ``bool`` is the integer 0 or 1."""
    try:
        number = operator.index(value)
    except TypeError:
        raise TypeError(f"{what} must be an integer, not {type(value).__name__}") from None
    if not _INT_MIN <= number <= _INT_MAX:
        raise ValueError(f"{what} {number} is outside the C int range")
    return number


def c_string(text, what):
    """``text`` (str or bytes, a file-system name) as the bytes the library receives; raises ``ValueError``
    for an embedded NUL, which the library would take as the end of the string."""
    encoded = os.fsencode(text)
    if b"\0" in encoded:
        raise ValueError(f"{what} contains a NUL character")
    return encoded
