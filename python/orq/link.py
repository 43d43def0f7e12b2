"""The connection to the devices: ``Link`` starts the library on a connection
and reads and sets the values it mirrors from the nodes it hears."""
import ctypes
import math
import time
from typing import NamedTuple

from . import errors
from ._arguments import c_int, c_string
from .data_ids import LinkStatistic
from .library import load_library

# Node IDs are 1..255 and the library lists each once.
_MAX_COMPONENTS = 255
# How long a set the send queue refuses is tried again before it fails.
_SET_RETRY_SECONDS = 1.0
_SET_RETRY_PAUSE = 0.01


class Component(NamedTuple):
    """A node the library knows: its ID and type code (1 flight board, 0 ground station, -1 not yet known)."""

    id: int
    type: int


class Link:
    """The library started on one connection, as a context manager.

    ``connection`` is handed to the library's ``init`` unchanged (a serial
    device path, for one); ``own_id`` is the library's own ID on the link.
    The library is process-wide: open one Link at a time. Data calls may be
    made from any thread while the Link is open.

    Every ID, index and value is a C ``int``: an integer outside
    -2**31 .. 2**31-1 raises ``ValueError`` and anything that is not an
    integer (a float, even 2.0) raises ``TypeError``, before the library is
    called; a ``bool`` counts as 0 or 1. A connection string with a NUL
    character raises ``ValueError``.
    """

    def __init__(self, connection, own_id=1):
        """Keeps the connection and own ID; nothing starts before ``open`` (or ``with``)."""
        self.connection = connection
        self.own_id = own_id
        self._lib = load_library()
        self._open = False

    def open(self):
        """Starts the library on the connection; raises ``StartDll`` when it cannot."""
        own_id = c_int(self.own_id, "own ID")
        device = c_string(self.connection, "connection")
        errors.check(self._lib.init(own_id, 0, device), "init")
        self._open = True
        return self

    def close(self):
        """Stops the library (the values last mirrored stay readable until the next open).

        From then on this Link refuses every set, without calling the library."""
        self._open = False
        self._lib.deinit()

    def __enter__(self):
        """Opens the link."""
        return self.open()

    def __exit__(self, *exc):
        """Closes the link."""
        self.close()
        return False

    def wait_node(self, comp, timeout=5):
        """Waits until node ``comp`` (1 to 255) is known with its type, for at most ``timeout`` seconds
        (0: only looks); returns at once when it already is. Sets and reads of a node the library has just
        heard of succeed after this.

        Raises ``ComponentNotSupported`` when the time runs out first, ``StartDll`` when no link runs
        (before ``open``, after ``close``, or when a ``close`` on another thread ends the wait), and
        ``InvalidValue`` for an ID outside 1 to 255 or a negative timeout."""
        comp = c_int(comp, "component")
        milliseconds = c_int(math.ceil(timeout * 1000), "timeout in milliseconds")
        errors.check(self._lib.waitForComponent(comp, milliseconds), "waitForComponent")

    def get(self, comp, data_id, index=0):
        """The value of ``data_id`` at ``index`` of node ``comp``."""
        comp, data_id, index = c_int(comp, "component"), c_int(data_id, "data ID"), c_int(index, "index")
        value = ctypes.c_int(0)
        errors.check(self._lib.getData(comp, data_id, ctypes.byref(value), index), "getData")
        return value.value

    def get_many(self, comp, items):
        """The values of ``items`` (pairs of data ID and index) of node ``comp``, read in one
        consistent batch, as a list in the order of ``items``."""
        comp = c_int(comp, "component")
        items = [(c_int(data_id, "data ID"), c_int(index, "index")) for data_id, index in items]
        n = len(items)
        ids = (ctypes.c_int * max(n, 1))(*(item[0] for item in items))
        indexes = (ctypes.c_int * max(n, 1))(*(item[1] for item in items))
        values = (ctypes.c_int * max(n, 1))()
        size = ctypes.c_int(n)
        errors.check(self._lib.getDataKomplex(comp, ids, indexes, n, values, ctypes.byref(size)), "getDataKomplex")
        return list(values[:n])

    def set(self, comp, data_id, value, index=0):
        """Sets ``data_id`` at ``index`` of node ``comp`` to ``value`` and sends it.

        A set the send queue refuses (``BufferTooSmal``) is tried again for up
        to one second before that error is raised; any other code but 0 raises
        its error at once. A Link that is not open raises
        ``ComponentNotSupported`` without calling the library: after ``close``
        no set may leave through a later link."""
        self._send(*self._checked_set(comp, data_id, value, index))

    def _checked_set(self, comp, data_id, value, index):
        """The arguments of one set, checked."""
        if not self._open:
            raise errors.ComponentNotSupported(errors.ComponentNotSupported.CODE, "setData")
        return c_int(comp, "component"), c_int(data_id, "data ID"), c_int(value, "value"), c_int(index, "index")

    def _send(self, comp, data_id, value, index):
        """One checked set, retried while the send queue refuses it."""
        deadline = time.monotonic() + _SET_RETRY_SECONDS
        while True:
            code = self._lib.setData(comp, data_id, value, index)
            if code != errors.BufferTooSmal.CODE or time.monotonic() >= deadline:
                errors.check(code, "setData")
                return
            time.sleep(_SET_RETRY_PAUSE)

    def set_many(self, comp, items):
        """Sets ``items`` (triples of data ID, index and value) of node ``comp``, in order.

        Each item is a ``set`` of its own, retried like one, so that a refused
        item is never sent twice; the first failure stops the rest, the items
        before it are done. Every item is checked before the first is sent."""
        for checked in [self._checked_set(comp, data_id, value, index) for data_id, index, value in items]:
            self._send(*checked)

    def components(self):
        """The nodes the library knows now, as a list of ``Component``."""
        ids = (ctypes.c_int * _MAX_COMPONENTS)()
        types = (ctypes.c_int * _MAX_COMPONENTS)()
        size = ctypes.c_int(_MAX_COMPONENTS)
        errors.check(self._lib.getComponents(ids, types, ctypes.byref(size)), "getComponents")
        return [Component(ids[i], types[i]) for i in range(size.value)]

    def statistics(self):
        """The link statistics: a dict from every ``LinkStatistic`` to its value, or to
        ``None`` for a statistic this library does not have."""
        result = {}
        for statistic in LinkStatistic:
            try:
                result[statistic] = self.get(self.own_id, statistic)
            except errors.DatatypeNotSupported:
                result[statistic] = None
        return result
