"""Fixtures: the simulator (orq-sim from the build, in ORQ_SIM) serving a flight board (5) and a ground
station (6) on a pseudo-terminal linked into the test's own temporary directory, an open Link on it, and a
capture recorded of it; and capture files and frames made byte by byte."""
import os
import struct
import subprocess
import time
import zlib

import pytest

import orq

DEADLINE = 30.0  # seconds any awaited condition gets


def wait_for(condition, what, deadline=DEADLINE):
    """Polls ``condition`` until it returns a true value, which it returns; fails the test at the deadline."""
    end = time.monotonic() + deadline
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > end:
            pytest.fail(f"not within {deadline} s: {what}")
        time.sleep(0.02)


@pytest.fixture
def sim_line(tmp_path):
    """Path of a line where the simulator plays flight board 5 and ground station 6."""
    line = tmp_path / "line"
    sim = subprocess.Popen([os.environ["ORQ_SIM"], "--fb", "5", "--gs", "6", "--link", str(line)],
                           stdout=subprocess.DEVNULL)
    try:
        wait_for(line.exists, "the simulator links its line")
        yield str(line)
    finally:
        sim.terminate()
        sim.wait(timeout=DEADLINE)


@pytest.fixture
def link(sim_line):
    """An open Link (own ID 1) on the simulator's line, once both devices are typed."""
    with orq.Link(sim_line) as opened:
        wait_for(lambda: {(5, 1), (6, 0)} <= set(opened.components()), "both devices typed")
        yield opened


# Capture files written here in the capture file format (docs/capture.md), record by record.
HEADER_CONNECTION = b"test"


def capture_header(connection=HEADER_CONNECTION, version=1, own_id=1):
    """A capture's header with its check."""
    header = b"ORQCAP\r\n" + struct.pack("<HHqBBH", version, 28 + len(connection), 0, own_id, 0, len(connection))
    header += connection
    return header + struct.pack("<I", zlib.crc32(header))


def capture_record(kind, micros, payload):
    """One record with its check: kind 1 received, 2 written, 3 gap."""
    record = struct.pack("<BQH", kind, micros, len(payload)) + payload
    return record + struct.pack("<I", zlib.crc32(record))


def capture(records):
    """A capture file's bytes: the header, then one received-bytes record per (microseconds, payload)."""
    return capture_header() + b"".join(capture_record(1, micros, payload) for micros, payload in records)


def frame(data_type, sender, receiver, channel, payload, full=False, size=None):
    """The bytes of one frame as a device or the library sends it: start byte, the short (or full) layout
    with its check byte, escaped, and the end byte. ``size``: the payload size a full layout states, when
    it is to lie."""
    if full:
        size = len(payload) if size is None else size
        layout = bytes([2, data_type, sender, receiver, size, 1, 0, 0, channel]) + payload
    else:
        layout = bytes([3, data_type, sender, receiver, channel]) + payload
    check = 0
    for b in layout:
        check ^= b
    escaped = b"".join(bytes([0xFE, b - 0x80]) if b in (0xFC, 0xFD, 0xFE) else bytes([b])
                       for b in layout + bytes([check]))
    return b"\xfd" + escaped + b"\xfc"


@pytest.fixture(scope="session")
def sim_capture(tmp_path_factory):
    """A capture the library recorded of the simulator's flight board (5) and ground station (6) for a
    few seconds, with one set the host sent (GPS mode 2 to node 5)."""
    folder = tmp_path_factory.mktemp("sim-capture")
    line, path = folder / "line", folder / "flight.orqcap"
    sim = subprocess.Popen([os.environ["ORQ_SIM"], "--fb", "5", "--gs", "6", "--link", str(line)],
                           stdout=subprocess.DEVNULL)
    try:
        wait_for(line.exists, "the simulator links its line")
        orq.start_capture(str(path))
        try:
            with orq.Link(str(line)) as link:
                link.wait_node(5, timeout=DEADLINE)
                link.set(5, orq.FlightBoard.GPS_MODE, 2)
                wait_for(lambda: link.get(5, orq.FlightBoard.GPS_MODE) == 2 and
                         link.get(5, orq.FlightBoard.LATITUDE) != 0, "the board reports GPS mode 2 and a position")
        finally:
            orq.stop_capture()
    finally:
        sim.terminate()
        sim.wait(timeout=DEADLINE)
    return path
