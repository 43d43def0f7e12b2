"""Errors of the library's calls: one ``Error`` subclass per return code."""


class Error(Exception):
    """A call of liborq failed; ``code`` is the negative code it returned."""

    #: The code this class stands for (``None`` on the base class).
    CODE = None

    def __init__(self, code, call=""):
        """Keeps ``code`` and names the failed ``call`` in the message."""
        self.code = code
        where = f"{call}: " if call else ""
        super().__init__(f"{where}{type(self).__name__} ({code})")


class UnexpectedException(Error):
    """-61 ERROR_UNEXPECTED_EXCEPTION: an unforeseen failure inside the library."""

    CODE = -61


class ComponentNotSupported(Error):
    """-62 ERROR_COMPONENT_NOT_SUPPORTED: no such node (yet), its lock not obtained, or no init."""

    CODE = -62


class DatatypeNotSupported(Error):
    """-63 ERROR_DATATYPE_NOT_SUPPORTED: the data ID has no entry in that direction."""

    CODE = -63


class ComponenttypeNotSupported(Error):
    """-64 ERROR_COMPONENTTYPE_NOT_SUPPORTED: the node's type code is neither 0 nor 1."""

    CODE = -64


class IndexNotSupported(Error):
    """-65 ERROR_INDEX_NOT_SUPPORTED: the index is outside the field."""

    CODE = -65


class BufferTooSmal(Error):
    """-66 ERROR_BUFFER_TOO_SMAL: no slot left, or the send queue refused a set."""

    CODE = -66


class InvalidValue(Error):
    """-67 ERROR_INVALID_VALUE: the data ID does not accept that value."""

    CODE = -67


class StartDll(Error):
    """-68 ERROR_START_DLL: init could not open the connection."""

    CODE = -68


_BY_CODE = {cls.CODE: cls for cls in (UnexpectedException, ComponentNotSupported, DatatypeNotSupported,
                                      ComponenttypeNotSupported, IndexNotSupported, BufferTooSmal,
                                      InvalidValue, StartDll)}


def error_for(code, call=""):
    """The exception for a failed ``call`` that returned ``code`` (plain ``Error`` for an unknown code)."""
    return _BY_CODE.get(code, Error)(code, call)


def check(code, call=""):
    """Raises the exception for ``code`` unless it is 0."""
    if code != 0:
        raise error_for(code, call)
