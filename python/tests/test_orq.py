"""The orq package against the simulator, and its parts that need no device."""
import os
import re
import subprocess
import sys
import time

import pytest

import orq
from conftest import DEADLINE, wait_for

FB = orq.FlightBoard
GS = orq.GroundStation


def test_reads_sets_and_lists_nodes(link):
    nodes = link.components()
    assert all(isinstance(n, orq.Component) for n in nodes)
    assert link.get(5, FB.TYPE) == 1
    assert link.get(6, GS.TYPE) == 0
    def position():
        values = link.get_many(5, [(FB.LATITUDE, 0), (FB.LONGITUDE, 0), (FB.TYPE, 0)])
        return values if values[0] != 0 else None

    # The simulated board flies near 48.1 degrees north once it reports its position.
    latitude, longitude, board_type = wait_for(position, "the board reports its position")
    assert board_type == 1
    assert 480000000 < latitude < 483000000 and longitude != 0
    assert link.get_many(5, []) == []

    link.set(5, FB.GPS_MODE, 2)
    wait_for(lambda: link.get(5, FB.GPS_MODE) == 2, "the board reports GPS mode Home")
    # Waypoint 3: three fields in order, each read back from the model.
    link.set_many(5, [(FB.WAYPOINT_LONGITUDE, 3, 111), (FB.WAYPOINT_LATITUDE, 3, 222), (FB.WAYPOINT_ALTITUDE, 3, 33)])
    assert link.get_many(5, [(FB.WAYPOINT_LONGITUDE, 3), (FB.WAYPOINT_LATITUDE, 3), (FB.WAYPOINT_ALTITUDE, 3)]) \
        == [111, 222, 33]


def test_a_set_right_after_connecting_succeeds_after_waiting_for_the_node(sim_line):
    with orq.Link(sim_line) as link:
        link.wait_node(5, timeout=DEADLINE)
        assert (5, 1) in link.components()
        link.set(5, FB.GPS_MODE, 2)
        wait_for(lambda: link.get(5, FB.GPS_MODE) == 2, "the board reports GPS mode Home")
        link.wait_node(5, timeout=0)  # typed already: at once


def test_waiting_for_a_node_that_never_comes_ends_with_the_timeout(link):
    start = time.monotonic()
    with pytest.raises(orq.ComponentNotSupported):
        link.wait_node(77, timeout=0.5)
    assert 0.45 <= time.monotonic() - start < DEADLINE


@pytest.mark.parametrize("call, error", [
    (lambda l: l.wait_node(5, timeout=1), orq.StartDll),  # not open
    (lambda l: l.open().wait_node(0), orq.InvalidValue),
    (lambda l: l.open().wait_node(256), orq.InvalidValue),
    (lambda l: l.open().wait_node(5, timeout=-1), orq.InvalidValue),
    (lambda l: l.wait_node(2**32 + 5), ValueError),
])
def test_waiting_for_a_node_fails_with_the_error_of_its_code(sim_line, call, error):
    link = orq.Link(sim_line)
    try:
        with pytest.raises(error):
            call(link)
    finally:
        link.close()


@pytest.mark.parametrize("call, error, code", [
    (lambda l: l.get(77, FB.TYPE), orq.ComponentNotSupported, -62),
    (lambda l: l.set(5, FB.HW_VERSION, 0), orq.DatatypeNotSupported, -63),
    (lambda l: l.set(5, FB.PWM_OUTPUT, 1, index=4), orq.IndexNotSupported, -65),
    (lambda l: l.set(5, FB.GPS_MODE, 7), orq.InvalidValue, -67),
    (lambda l: l.get_many(5, [(FB.TYPE, 0), (FB.MOTOR_ON, 0)]), orq.DatatypeNotSupported, -63),
    (lambda l: l.set_many(5, [(FB.MOTOR_ON, 0, 1), (FB.GPS_MODE, 0, 9)]), orq.InvalidValue, -67),
])
def test_failures_raise_the_error_of_their_code(link, call, error, code):
    with pytest.raises(error) as raised:
        call(link)
    assert isinstance(raised.value, orq.Error)
    assert raised.value.code == code == error.CODE


def test_a_capture_started_before_the_link_records_it(sim_line, tmp_path):
    capture = tmp_path / "flight.orqcap"
    orq.start_capture(str(capture))
    try:
        with orq.Link(sim_line) as link:
            wait_for(lambda: (5, 1) in set(link.components()), "the board is typed")
    finally:
        orq.stop_capture()
    # The header and at least the records of the frames that typed the board.
    assert capture.stat().st_size > 100
    with pytest.raises(orq.StartDll):
        orq.start_capture(str(tmp_path / "no-such-folder" / "x.orqcap"))


def test_a_connection_that_does_not_open_raises_start_dll(tmp_path):
    with pytest.raises(orq.StartDll) as raised:
        with orq.Link(str(tmp_path / "no-such-device")):
            pass
    assert raised.value.code == -68


def test_statistics_name_every_link_row(link):
    stats = link.statistics()
    assert set(stats) == set(orq.LinkStatistic)
    assert stats[orq.LinkStatistic.RECEIVED_FRAMES] > 0
    assert all(v is None or isinstance(v, int) for v in stats.values())


class FakeCalls:
    """Stands in for one exported call: returns the codes given, then the last one for ever."""

    def __init__(self, *codes):
        self.codes = list(codes)
        self.calls = []

    def __call__(self, *args):
        self.calls.append(args)
        return self.codes.pop(0) if len(self.codes) > 1 else self.codes[0]


def test_a_statistic_the_library_lacks_is_missing_not_an_error(monkeypatch):
    lib = orq.load_library()
    monkeypatch.setattr(lib, "getData", lambda comp, data_id, value, index: -63 if data_id == 49 else 0)
    stats = orq.Link("unused", own_id=9).statistics()
    assert stats[orq.LinkStatistic.QUEUE_REFUSED] is None
    assert stats[orq.LinkStatistic.RECEIVED_FRAMES] == 0


@pytest.fixture
def fake_lib(monkeypatch):
    """The library's calls that take arguments replaced by recorders that succeed, by name."""
    lib = orq.load_library()
    fakes = {name: FakeCalls(0) for name in ("init", "deinit", "getData", "setData", "getDataKomplex", "startCapture")}
    for name, fake in fakes.items():
        monkeypatch.setattr(lib, name, fake)
    return fakes


@pytest.fixture
def fake_link(fake_lib):
    """A Link opened on the recorders, which have not recorded its opening."""
    link = orq.Link("unused").open()
    fake_lib["init"].calls.clear()
    return link


def test_a_refused_set_is_tried_again_until_it_is_queued(fake_link, fake_lib):
    fake_lib["setData"].codes = [-66, -66, 0]
    fake_link.set(5, FB.MOTOR_ON, 1)
    assert fake_lib["setData"].calls == [(5, 31, 1, 0)] * 3


def test_a_set_refused_for_a_second_raises(fake_link, fake_lib):
    fake = fake_lib["setData"]
    fake.codes = [-66]
    with pytest.raises(orq.BufferTooSmal):
        fake_link.set(5, FB.MOTOR_ON, 1)
    assert len(fake.calls) > 1
    # Other failures are not tried again.
    fake.codes, fake.calls = [-67], []
    with pytest.raises(orq.InvalidValue):
        fake_link.set(5, FB.GPS_MODE, 9)
    assert len(fake.calls) == 1


@pytest.mark.parametrize("code", [-62, -61, -99, 1])
def test_a_set_that_returns_any_code_but_0_raises(fake_link, fake_lib, code):
    fake_lib["setData"].codes = [code]
    for call in (lambda: fake_link.set(5, FB.MOTOR_ON, 1), lambda: fake_link.set_many(5, [(FB.MOTOR_ON, 0, 1)])):
        with pytest.raises(orq.Error) as raised:
            call()
        assert raised.value.code == code


def test_a_set_after_the_link_closed_raises(sim_line):
    with orq.Link(sim_line) as link:
        wait_for(lambda: (5, 1) in set(link.components()), "the board is typed")
    with pytest.raises(orq.ComponentNotSupported):
        link.set(5, FB.MOTOR_ON, 1)
    with pytest.raises(orq.ComponentNotSupported):
        link.set_many(5, [(FB.MOTOR_ON, 0, 1)])
    # The values last mirrored stay readable.
    assert link.get(5, FB.TYPE) == 1


# Each call with one argument the library cannot take unchanged (outside the C int range, not an integer, a NUL
# in a string): refused before any call of the library, even the items of a batch before the bad one.
@pytest.mark.parametrize("call, error", [
    (lambda l: l.set(5, FB.GPS_MODE, 2**32 + 2), ValueError),
    (lambda l: l.set(5, FB.GPS_MODE, -2**31 - 1), ValueError),
    (lambda l: l.set(5, FB.GPS_MODE, 2.7), TypeError),
    (lambda l: l.set(5, FB.GPS_MODE, "2"), TypeError),
    (lambda l: l.set(2**32 + 5, FB.GPS_MODE, 2), ValueError),
    (lambda l: l.set(5, 2**32 + FB.GPS_MODE, 2), ValueError),
    (lambda l: l.set(5, FB.PWM_OUTPUT, 1, index=2**31), ValueError),
    (lambda l: l.set_many(5, [(FB.MOTOR_ON, 0, 1), (FB.GPS_MODE, 0, 2**32 + 2)]), ValueError),
    (lambda l: l.set_many(5, [(FB.MOTOR_ON, 0, 1), (FB.GPS_MODE, 0, 2.0)]), TypeError),
    (lambda l: l.get(2**31, FB.TYPE), ValueError),
    (lambda l: l.get(5, FB.TYPE, index=-2**31 - 1), ValueError),
    (lambda l: l.get_many(5, [(FB.TYPE, 0), (FB.LATITUDE, 2**32)]), ValueError),
    (lambda l: l.get_many(2**40, [(FB.TYPE, 0)]), ValueError),
    (lambda l: orq.Link("unused", own_id=2**32 + 1).open(), ValueError),
    (lambda l: orq.Link("/dev/ttyUSB0\0junk").open(), ValueError),
    (lambda l: orq.start_capture("flight.orqcap\0junk"), ValueError),
])
def test_an_argument_the_library_cannot_take_is_refused(fake_link, fake_lib, call, error):
    with pytest.raises(error):
        call(fake_link)
    assert {name: fake.calls for name, fake in fake_lib.items() if fake.calls} == {}


def test_the_ends_of_the_int_range_and_bools_reach_the_library_unchanged(fake_link, fake_lib):
    fake_link.set(5, FB.GPS_MODE, 2**31 - 1, index=-2**31)
    fake_link.set(5, FB.MOTOR_ON, True)
    assert fake_lib["setData"].calls == [(5, 32, 2**31 - 1, -2**31), (5, 31, 1, 0)]


def test_enums_hold_every_row_of_the_list():
    rows = re.findall(r'^ORQ_DATA_ID\((\w+), (\d+), (\w+), (\w+), "([^"]*)", "([^"]*)"\)$',
                      open(os.path.join(os.environ["ORQ_SOURCE_DIR"], "src/library/host/DataIds.def")).read(), re.M)
    enums = {"FLIGHT_BOARD": FB, "GROUND_STATION": GS, "LINK": orq.LinkStatistic}
    assert sum(len(e) for e in enums.values()) == len(rows)
    for device, number, name, access, unit, text in rows:
        member = enums[device][name]
        assert (int(member), member.readable, member.writable, member.unit, member.text) == \
            (int(number), "R" in access, "W" in access, unit, text)
    assert FB.GPS_MODE == 32 and GS.RC_SENDER == 37


@pytest.mark.parametrize("variable, expected", [
    ("/nonexistent/liborq.so.1", "/nonexistent/liborq.so.1"),  # named: used as it is, even when missing
    ("", os.path.join(os.path.dirname(os.path.dirname(orq.__file__)), "..", "liborq.so.1")),  # next to the package
])
def test_the_library_is_found_by_variable_then_beside_the_package(variable, expected):
    env = dict(os.environ, ORQ_LIBRARY=variable)
    out = subprocess.run([sys.executable, "-c", "import orq; print(orq.library_path())"], env=env,
                         capture_output=True, text=True, check=True).stdout.strip()
    assert out == os.path.normpath(expected)


def test_a_library_that_does_not_load_says_what_was_tried_and_what_to_do():
    env = dict(os.environ, ORQ_LIBRARY="/nonexistent/liborq.so.1")
    result = subprocess.run([sys.executable, "-c", "import orq; orq.Link('x')"], env=env, capture_output=True,
                            text=True)
    assert result.returncode == 1
    last = result.stderr.strip().splitlines()[-1]
    assert last.startswith("orq.library.LibraryNotFound: cannot load liborq: tried the path in ORQ_LIBRARY, "
                           "/nonexistent/liborq.so.1: "), last
    assert "set ORQ_LIBRARY to the path of an existing liborq.so.1, or unset it" in last


def test_every_public_name_has_a_docstring():
    names = [getattr(orq, n) for n in orq.__all__]
    members = [getattr(orq.Link, n) for n in dir(orq.Link) if not n.startswith("_") or n in ("__enter__", "__exit__")]
    members += [getattr(orq.DataId, n) for n in ("unit", "scale", "symbol", "to_unit", "format", "text", "readable",
                                                 "writable")]
    members += [getattr(orq.Unit, n) for n in dir(orq.Unit) if not n.startswith("_")]
    members += [getattr(orq.capture, n) for n in ("read", "dataframe", "Capture", "Record", "CaptureError",
                                                  "CaptureCutShort")]
    assert orq.__doc__
    for obj in names + members:
        assert (obj.__doc__ or "").strip(), obj
