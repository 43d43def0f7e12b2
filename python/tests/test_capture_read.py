"""orq.capture.read against orq-dump (ORQ_DUMP) on the same files: a capture the library recorded of the
simulator, with frames appended that the simulator never sends; the same capture cut short or damaged;
and files it must refuse."""
import csv
import os
import signal
import struct
import subprocess

import pytest

import orq
from conftest import capture_header, capture_record, frame

# Frames a device or a host may send, and bytes the library must not take for one, each a record of its own
# after the simulator's (direction 1 received, 2 written).
ODD_RECORDS = [
    (1, frame(30, 5, 1, 0, b"\xd7\x00")),  # temperature 21.5 degC
    (1, frame(14, 5, 1, 0, (0xFCFDFE).to_bytes(4, "little"))),  # escaped bytes in the payload
    (1, frame(6, 5, 1, 2, b"\x01\x00\xfe\xff\xfc\x03", full=True)),  # full layout
    (1, frame(6, 5, 1, 2, b"\x01\x00\x02\x00\x03\x00", full=True, size=5)),  # a full layout's size lies: damaged
    (1, frame(100, 5, 1, 0, b"\x01\x02")),  # unknown type: raw
    (1, frame(6, 5, 1, 0, b"\x01\x02")),  # known type, wrong length: raw
    (1, frame(6, 5, 1, 0, b"")),  # a report without payload
    (1, frame(50, 5, 1, 0, b'fix "ok"\x01\x7f\x00junk')),  # debug text: cut at the NUL, odd characters shown as ?
    (1, frame(40, 6, 1, 0, bytes(range(20)))),  # the ground station's debug block
    (2, frame(3, 1, 5, 0, b"")),  # type request
    (2, frame(31, 1, 5, 0, b"\x02")),  # GPS mode set
    (2, frame(37, 1, 5, 0, b"")),  # position request
    (1, b"\xfd\x01\x02\xfc"),  # no layout: damaged
    (1, frame(30, 5, 1, 0, b"\xd7\x00")[:-2] + b"\x00\xfc"),  # wrong check byte: damaged
    (1, b"\xfd\x03\x1e\xfe\xfc"),  # ends in an escape byte: damaged
    (1, b"\x00\xfc" + b"\x55" * 1200 + frame(30, 5, 1, 1, b"\x01\x00")),  # noise: an end byte without start, too much
    (1, b"\x55" * 999 + frame(30, 5, 1, 3, b"\x03\x00")),  # its start byte is dropped with the 1000 bytes before
    (1, frame(30, 5, 1, 2, b"\x02\x00")[:5]),  # a frame split over two records ...
    (1, frame(30, 5, 1, 2, b"\x02\x00")[5:]),  # ... is read at its end byte
    (1, b"\xfd" + b"\x55" * 250 + b"\xfc"),  # the start byte is further back than the library keeps
    (1, b"\xfd" + b"\x55" * 140 + b"\xfc"),  # too long for a layout: damaged
]


def with_odd_records(original, path):
    """The capture at ``original`` with ODD_RECORDS and a gap appended, written to ``path``."""
    data = original.read_bytes()
    # The time of the last record, found by walking the file.
    last = 0
    offset = struct.unpack_from("<H", data, 10)[0]
    while offset < len(data):
        last = struct.unpack_from("<Q", data, offset + 1)[0]
        offset += 11 + struct.unpack_from("<H", data, offset + 9)[0] + 4
    extra = [capture_record(kind, last + 1000 * (i + 1), payload) for i, (kind, payload) in enumerate(ODD_RECORDS)]
    extra.append(capture_record(3, last + 10**6, struct.pack("<IIQ", 3, 120, last + 2 * 10**6)))
    path.write_bytes(data + b"".join(extra))
    return path


def dump(path):
    """orq-dump's CSV rows of the file, its exit code and its standard error."""
    result = subprocess.run([os.environ["ORQ_DUMP"], "--csv", str(path)], capture_output=True, text=True,
                            timeout=120)
    reader = csv.DictReader(result.stdout.splitlines())
    return list(reader), result.returncode, result.stderr, reader.fieldnames


def as_dump_row(record, header):
    """A record in orq-dump's CSV columns ``header``: one column per field, named after the data type (a
    set fills its report's columns) with the unit where one is known, the value in that unit."""
    cells = dict.fromkeys(header, "")
    field = lambda v: "" if v is None else str(v)  # noqa: E731
    cells.update({"time_s": "%.6f" % record.time, "direction": record.direction, "sender": field(record.source),
                  "receiver": field(record.destination), "data_type": field(record.type), "name": record.name,
                  "channel": field(record.channel), "status": record.status, "hex": record.payload.hex(" ")})
    base = "gap" if record.status == "gap" else record.name[:-len(".set")] if record.name.endswith(".set") \
        else record.name
    for name, value in record.values.items():
        unit = record.units.get(name)
        if record.status == "gap":
            column, cell = f"gap.{name} [s]" if name == "until" else f"gap.{name}", \
                "%.6f" % value if name == "until" else str(value)
        elif unit is not None and unit.known and unit.symbol:
            column, cell = f"{base}.{name} [{unit.symbol}]", unit.format(value)
        else:
            column, cell = f"{base}.{name}", str(value)
        assert column in cells, f"orq-dump has no column {column}"
        cells[column] = cell
    return cells


def read_all(path):
    """The records of the file, and the error that ended them (None at a clean end)."""
    records = []
    try:
        for record in orq.capture.read(path):
            records.append(record)
    except orq.capture.CaptureCutShort as cut:
        return records, cut
    return records, None


@pytest.fixture(scope="module")
def odd_capture(sim_capture, tmp_path_factory):
    return with_odd_records(sim_capture, tmp_path_factory.mktemp("odd") / "odd.orqcap")


def test_every_record_is_the_row_orq_dump_shows(odd_capture):
    records, cut = read_all(odd_capture)
    rows, code, _, header = dump(odd_capture)
    assert (cut, code) == (None, 0)
    assert [as_dump_row(r, header) for r in records] == rows
    # The appended records came out as the library reads them.
    statuses = {r.status for r in records}
    assert statuses == {"ok", "raw", "damaged", "gap"}
    assert sum(r.status == "damaged" for r in records) == 5
    assert any(r.direction == "tx" and r.name == "gpsMode.set" and r.values == {"value": 2} for r in records)


def test_values_carry_the_units_of_their_data_ids(odd_capture):
    records, _ = read_all(odd_capture)
    temperature = next(r for r in records if r.name == "temperature" and r.values == {"value": 215})
    assert temperature.units["value"].with_symbol(215) == "21.5 degC"
    assert temperature.in_units() == {"value": pytest.approx(21.5)}
    position = next(r for r in records if r.name == "position" and r.values["latitude"] != 0)
    assert position.units["latitude"].symbol == "deg" and "status" in position.units
    assert 48.0 < position.in_units()["latitude"] < 48.3
    assert position.in_units()["status"] == position.values["status"]
    debug = next(r for r in records if r.name == "debug" and r.source == 6)
    assert debug.units == {} and debug.in_units() == debug.values  # the debug block has no units
    pressure = next(r for r in records if r.name == "pressure")
    assert pressure.units["value"].symbol == "Pa"


@pytest.mark.parametrize("spoil, error", [
    (lambda data: data[:-3], "capture truncated: the file ends inside a record"),
    (lambda data: data[:len(data) // 2] + bytes([data[len(data) // 2] ^ 0x40]) + data[len(data) // 2 + 1:],
     "damaged record"),
    (lambda data: data + bytes(4096), "capture not closed: no record after the last whole one"),
    (lambda data: data + b"\x07" + bytes(14), "damaged record"),  # an unknown kind
])
def test_a_spoilt_file_gives_every_record_before_the_damage_and_then_says_where(odd_capture, tmp_path, spoil,
                                                                                error):
    path = tmp_path / "spoilt.orqcap"
    path.write_bytes(spoil(odd_capture.read_bytes()))
    records, cut = read_all(path)
    rows, code, stderr, header = dump(path)
    assert code == 3
    assert [as_dump_row(r, header) for r in records] == rows
    assert len(rows) > 100
    assert isinstance(cut, orq.capture.CaptureError) and error in str(cut)
    assert stderr == "orq-dump: %s; records before it are shown\n" % cut
    assert str(cut).endswith("at offset %d" % cut.offset)


def make_fifo(tmp_path):
    os.mkfifo(tmp_path / "fifo")
    return tmp_path / "fifo"


def header_with(version=1, spoil_check=False):
    header = bytearray(capture_header(version=version))
    if spoil_check:
        header[-1] ^= 1
    return bytes(header)


# Each refused before any record, with orq-dump's message; a FIFO is never waited on.
@pytest.mark.parametrize("make", [
    lambda tmp: make_fifo(tmp),
    lambda tmp: tmp,
    lambda tmp: "/dev/null",
    lambda tmp: tmp / "missing.orqcap",
    lambda tmp: write(tmp, b"time_s,direction\n"),
    lambda tmp: write(tmp, header_with(version=2)),
    lambda tmp: write(tmp, header_with(version=0)),
    lambda tmp: write(tmp, header_with(spoil_check=True)),
    lambda tmp: write(tmp, capture_header()[:20]),
], ids=["fifo", "directory", "device", "missing", "not-a-capture", "newer", "version-0", "check", "cut-header"])
def test_a_file_that_is_no_capture_it_can_read_is_refused_with_the_reason(tmp_path, make):
    path = make(tmp_path)
    signal.alarm(60)  # a read that blocks fails the test instead of hanging it
    try:
        with pytest.raises(orq.capture.CaptureError) as refused:
            orq.capture.read(path)
    finally:
        signal.alarm(0)
    assert not isinstance(refused.value, orq.capture.CaptureCutShort)
    _, code, stderr, _ = dump(path)
    assert code in (1, 2)
    assert stderr == "orq-dump: %s\n" % refused.value


def write(tmp_path, data):
    path = tmp_path / "file.orqcap"
    path.write_bytes(data)
    return path


def test_a_dataframe_holds_the_records_with_one_column_per_field(odd_capture, tmp_path):
    pandas = pytest.importorskip("pandas")
    path = tmp_path / "cut.orqcap"
    path.write_bytes(odd_capture.read_bytes()[:-3])
    with pytest.warns(UserWarning, match="capture truncated"):
        frame_ = orq.capture.dataframe(path)
    records, _ = read_all(path)
    assert isinstance(frame_, pandas.DataFrame) and len(frame_) == len(records)
    assert list(frame_["latitude"].dropna()) == [r.values["latitude"] for r in records if "latitude" in r.values]
    assert set(frame_["typeReply.type"].dropna()) == {0, 1} and set(frame_["type"].dropna()) >= {4, 30}

