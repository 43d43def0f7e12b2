"""Capture files (docs/capture.md): recording the link's traffic into one (``start_capture``,
``stop_capture``) and reading one back frame by frame (``read``, ``dataframe``), with the same frames,
fields and values that orq-dump shows for it. Reading needs no library."""
import os
import stat
import struct
import warnings
import zlib
from datetime import datetime, timedelta, timezone
from typing import NamedTuple

from . import _frames
from ._arguments import c_string
from .errors import check
from .library import load_library
from .units import Unit

MAGIC = b"ORQCAP\r\n"
VERSION = 1
_HEADER_FIXED = 24
_CHECK = 4
_MAX_CONNECTION = 1024
_RECORD_HEAD = struct.Struct("<BQH")
_KIND_NONE, _KIND_RECEIVED, _KIND_WRITTEN, _KIND_GAP = 0, 1, 2, 3
_GAP = struct.Struct("<IIQ")
_KINDS = {stat.S_IFIFO: "a FIFO", stat.S_IFDIR: "a directory", stat.S_IFCHR: "a character device",
          stat.S_IFBLK: "a block device", stat.S_IFSOCK: "a socket"}


def start_capture(path):
    """Records every chunk the link reads and writes into the capture file at ``path``.

    Started before ``Link.open``, the capture begins with the link; a second call switches to the new
    file. Raises ``StartDll`` when the file cannot be created, ``ValueError``
    for a path with a NUL character.
    """
    check(load_library().startCapture(c_string(path, "capture path")), "startCapture")


def stop_capture():
    """Ends the capture, if one is running; the file stays readable up to its last record."""
    check(load_library().stopCapture(), "stopCapture")


class CaptureError(Exception):
    """A capture file that cannot be read: not a regular file, not a capture, a newer format or a corrupt
    header. The message is orq-dump's."""


class CaptureCutShort(CaptureError):
    """The capture stops before the end of its file (not closed, truncated, or a damaged record): raised
    once every whole record before that point has been read. ``offset`` is where the first record that is
    not whole starts."""

    def __init__(self, message, offset):
        super().__init__(message)
        self.offset = offset


class Record(NamedTuple):
    """One row of a capture as orq-dump shows it: a frame the library found in the bytes of one direction
    (``status`` "ok" when its data type and payload are known, "raw" when not, "damaged" when the frame
    holds no message), or a gap (``status`` "gap": chunks the writer lost)."""

    #: Seconds since the start of the capture (of the record that holds the frame's end byte).
    time: float
    #: "rx" read from the link, "tx" written to it, "--" for a gap.
    direction: str
    #: Sender's ID (None for a damaged frame or a gap).
    source: object
    #: Receiver's ID (None for a damaged frame or a gap).
    destination: object
    #: Data type (None for a damaged frame or a gap).
    type: object
    #: Short name of the data type ("pressure", "gpsMode.set", "typeRequest"), "?" unknown, "" none.
    name: str
    #: Channel (None for a damaged frame or a gap).
    channel: object
    status: str
    #: The fields by name: raw integers as received ({} for a request or a payload that is not known); a
    #: debug text's "text"; a gap's "chunks", "bytes" and "until" (seconds).
    values: dict
    #: The unit (``orq.Unit``) of each field that a data ID mirrors.
    units: dict
    #: The payload; for a damaged frame its bytes from the start byte on.
    payload: bytes

    def in_units(self):
        """The values in their units (raw x scale) where a unit is given, as they are elsewhere."""
        return {field: self.units[field].value(v) if field in self.units else v
                for field, v in self.values.items()}


class Capture:
    """An open capture file: its header's ``connection``, ``own_id`` and ``start_micros`` (wall clock,
    microseconds since 1970 UTC), and its records in file order when iterated (once). A context manager
    that closes the file."""

    def __init__(self, path):
        """Opens ``path`` and reads the header; raises ``CaptureError`` when it is refused."""
        self.path = os.fsdecode(path)
        self._file = _open_regular(self.path)
        try:
            self._read_header()
        except CaptureError:
            self.close()
            raise

    def _refuse(self, reason):
        raise CaptureError(f"{self.path}: {reason}")

    def _read_header(self):
        fixed = self._file.read(_HEADER_FIXED)
        if fixed[:len(MAGIC)] != MAGIC:
            self._refuse("not a capture file (bad magic number)")
        if len(fixed) < _HEADER_FIXED:
            self._refuse("corrupt header: the file ends inside it")
        version, size = struct.unpack_from("<HH", fixed, 8)
        if version > VERSION:
            self._refuse(f"capture format version {version} is newer than this reader (version {VERSION})")
        (connection_size,) = struct.unpack_from("<H", fixed, 22)
        if version == 0 or connection_size > _MAX_CONNECTION or size != _HEADER_FIXED + connection_size + _CHECK:
            self._refuse("corrupt header: inconsistent version or lengths")
        rest = self._file.read(size - _HEADER_FIXED)
        if len(rest) != size - _HEADER_FIXED:
            self._refuse("corrupt header: the file ends inside it")
        header = fixed + rest
        if zlib.crc32(header[:-_CHECK]) != struct.unpack_from("<I", header, size - _CHECK)[0]:
            self._refuse("corrupt header: check mismatch")
        self.start_micros, self.own_id = struct.unpack_from("<qB", header, 12)
        text = header[_HEADER_FIXED:_HEADER_FIXED + connection_size].split(b"\0", 1)[0]
        self.connection = text.decode("utf-8", "replace")
        self._offset = size

    @property
    def start(self):
        """The wall-clock time of the start as a ``datetime`` in UTC, or None when out of its range."""
        try:
            return datetime(1970, 1, 1, tzinfo=timezone.utc) + timedelta(microseconds=self.start_micros)
        except OverflowError:
            return None

    def __iter__(self):
        """The records; raises ``CaptureCutShort`` after the last whole one when the file goes on."""
        sides = {_KIND_RECEIVED: ("rx", _frames.Gatherer()), _KIND_WRITTEN: ("tx", _frames.Gatherer())}
        try:
            for kind, micros, payload in self._chunks():
                seconds = micros / 1e6
                if kind == _KIND_GAP:
                    chunks, lost, until = _GAP.unpack(payload)
                    yield Record(seconds, "--", None, None, None, "", None, "gap",
                                 {"chunks": chunks, "bytes": lost, "until": until / 1e6}, {}, b"")
                    continue
                direction, gatherer = sides[kind]
                for message, frame in gatherer.feed(payload):
                    yield _record(seconds, direction, message, frame)
        finally:
            self.close()

    def _chunks(self):
        """(kind, micros, payload) of every whole record."""
        while True:
            head = self._file.read(_RECORD_HEAD.size)
            if not head:
                return
            if head[0] == _KIND_NONE:
                self._cut_short("capture not closed: no record after the last whole one")
            if len(head) < _RECORD_HEAD.size:
                self._cut_short("capture truncated: the file ends inside a record")
            kind, micros, size = _RECORD_HEAD.unpack(head)
            rest = self._file.read(size + _CHECK)
            if len(rest) != size + _CHECK:
                self._cut_short("capture truncated: the file ends inside a record")
            known = kind in (_KIND_RECEIVED, _KIND_WRITTEN) or (kind == _KIND_GAP and size == _GAP.size)
            if not known or zlib.crc32(head + rest[:size]) != struct.unpack_from("<I", rest, size)[0]:
                self._cut_short("damaged record")
            yield kind, micros, rest[:size]
            self._offset += len(head) + len(rest)

    def _cut_short(self, reason):
        raise CaptureCutShort(f"{self.path}: {reason} at offset {self._offset}", self._offset)

    def close(self):
        """Closes the file (iterating closes it at the end)."""
        self._file.close()

    def __enter__(self):
        """The capture."""
        return self

    def __exit__(self, *exc):
        """Closes the file."""
        self.close()
        return False


def _open_regular(path):
    """The file at ``path`` opened for reading, refused unless it is a regular file: looked at before it
    is opened, then opened without blocking and looked at again, so that a FIFO, a directory or a
    device is never waited on."""
    def refuse(reason):
        return CaptureError(f"{path}: cannot open {path}: {reason}")

    def kind(mode):
        return f"not a regular file ({_KINDS.get(stat.S_IFMT(mode), 'not a regular file')})"

    try:
        mode = os.stat(path).st_mode
        if not stat.S_ISREG(mode):
            raise refuse(kind(mode))
        fd = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_NOCTTY | os.O_CLOEXEC)
    except OSError as error:
        raise refuse(error.strerror) from None
    mode = os.fstat(fd).st_mode
    if not stat.S_ISREG(mode):
        os.close(fd)
        raise refuse(kind(mode))
    os.set_blocking(fd, True)
    return os.fdopen(fd, "rb")


def _record(seconds, direction, message, frame):
    """The record of one frame the gatherer closed (message None: damaged)."""
    if message is None:
        return Record(seconds, direction, None, None, None, "", None, "damaged", {}, {}, frame)
    name = _frames.name_of(message.data_type)
    values = _frames.values_of(message.data_type, message.payload)
    known = name and (values is not None or not message.payload)
    fields = values if isinstance(values, dict) else {}
    report = name[:-len(".set")] if name.endswith(".set") else name
    units = {}
    for field in fields:
        data_id = _frames.data_id_of(report, field)
        if data_id is not None:
            units[field] = Unit(data_id.unit)
    return Record(seconds, direction, message.sender, message.receiver, message.data_type, name or "?",
                  message.channel, "ok" if known else "raw", fields, units, message.payload)


def read(path):
    """The capture file at ``path`` as a ``Capture``: iterate it for its records (``Record``), in the
    order orq-dump shows them. Raises ``CaptureError`` at once for a path that is no regular file (a
    FIFO, a directory, a device: never waited on) or a header it refuses, and ``CaptureCutShort`` while
    iterating, after every whole record before the point where the file is cut short or damaged."""
    return Capture(path)


def dataframe(path):
    """The records of the capture at ``path`` as a pandas ``DataFrame`` (needs pandas): one row per
    record, the columns of ``Record`` but ``values``, ``units`` and ``payload``, and one column per field
    (raw integers; a field named like a column of its own, such as a type reply's "type", is
    "typeReply.type"). A capture cut short gives the records before that point with a warning."""
    import pandas

    rows = []
    try:
        for record in read(path):
            row = record._asdict()
            del row["values"], row["units"], row["payload"]
            row.update({f"{record.name}.{field}" if field in row else field: v for field, v in record.values.items()})
            rows.append(row)
    except CaptureCutShort as cut:
        warnings.warn(str(cut))
    return pandas.DataFrame(rows)
