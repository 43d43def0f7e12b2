"""orq-plot on captures written here in the capture file format (docs/capture.md)."""
import os
import re
import resource
import subprocess
import sys

import orq
from conftest import capture, capture_header, capture_record, frame

# Far more than orq-plot needs (under 200 MB), far less than arrays sized by time would take.
ADDRESS_SPACE_LIMIT = 512 * 1024 * 1024
# Bytes from a start to an end byte: orq-dump shows each such record as one (damaged) frame.
FRAME = b"\xfd\x01\x02\xfc"
PLOT = os.path.join(os.environ["ORQ_SOURCE_DIR"], "tools/plot/orq-plot")


def limit_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE_LIMIT, ADDRESS_SPACE_LIMIT))


def test_a_time_jump_is_cut_out_with_a_warning_and_memory_stays_small(tmp_path):
    path = tmp_path / "jumps.orqcap"
    path.write_bytes(capture([(0, FRAME), (1000000, FRAME), (2**42, FRAME), (2**42 + 1000000, FRAME),
                              (2**62, FRAME)]))
    png = tmp_path / "jumps.png"
    result = subprocess.run([sys.executable, PLOT, str(path), "-o", str(png)],
                            capture_output=True, text=True, timeout=120, preexec_fn=limit_address_space)
    assert result.returncode == 0, result.stderr
    warnings = [line for line in result.stderr.splitlines() if "implausible time jump" in line]
    assert len(warnings) == 2, result.stderr
    assert "from 1.000000 s to 4398046.511104 s" in warnings[0]
    assert "to 4611686018427.38" in warnings[1]
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"


def svg_texts(path):
    """The texts of a page orq-plot wrote as SVG (matplotlib keeps each text as a comment)."""
    return [text.strip() for text in re.findall(r"<!-- (.*?) -->", path.read_text())]


def plot(*args):
    """orq-plot run with ``args``; its result (fails the test unless it exits 0)."""
    result = subprocess.run([sys.executable, PLOT, *map(str, args)], capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr
    return result


def test_sets_are_marked_the_title_names_the_link_and_axes_name_units(sim_capture, tmp_path):
    page = tmp_path / "flight.svg"
    plot(sim_capture, "-o", page, "--link-name=bench flight")
    texts = svg_texts(page)
    assert "set gpsMode=2 on 5" in texts
    title = [t for t in texts if t.startswith("bench flight, own ID 1, started ")]
    assert title and title[0].endswith("(flight board: 5)"), texts
    assert not any(str(sim_capture.parent) in t for t in texts), "the link's path is not shown"
    assert {"pressure (Pa)", "gyro rate (deg/s)", "direction cosine (raw)"} <= set(texts)

    # Without a name, the capture's file and the connection it recorded.
    plot(sim_capture, "-o", page)
    texts = svg_texts(page)
    assert "flight.orqcap" in texts
    assert any(t.startswith('capture of "%s", own ID 1, started ' % (sim_capture.parent / "line")) for t in texts)


def test_a_set_with_units_and_one_not_read_are_labelled_a_request_is_not_marked(tmp_path):
    path = tmp_path / "sets.orqcap"
    waypoint = (115000000).to_bytes(4, "little", signed=True) + (481000000).to_bytes(4, "little", signed=True) + \
        (5190).to_bytes(4, "little", signed=True) + bytes([0, 0, 0, 3, 10, 0])
    path.write_bytes(capture_header() + b"".join(capture_record(2, micros, payload) for micros, payload in [
        (1000, frame(41, 1, 5, 2, waypoint)),  # waypoint 2 set
        (2000, frame(39, 1, 5, 8, b"\x07\x00")),  # one debug element: no layout of its own
        (3000, frame(13, 1, 5, 0, b"")),  # a request for the pressure
    ]))
    page = tmp_path / "sets.svg"
    plot(path, "-o", page)
    labels = [t for t in svg_texts(page) if t.startswith("set ")]
    assert labels == ["set waypoint longitude=11.5000000 deg latitude=48.1000000 deg altitude=51.90 m status=0 "
                      "heading=0 toleranceRadius=3 raw holdTime=10 raw type=0 on 5",
                      "set debug ch 8: 07 00 on 5"]

    # Cut short in the last record: drawn up to there, with orq-dump's warning.
    path.write_bytes(path.read_bytes()[:-3])
    result = plot(path, "-o", page)
    assert re.fullmatch(r"orq-plot: %s: capture truncated: the file ends inside a record at offset \d+; records "
                        r"before it are shown\n" % re.escape(str(path)), result.stderr), result.stderr
    assert len([t for t in svg_texts(page) if t.startswith("set ")]) == 2


def test_version_and_a_file_that_is_no_capture(tmp_path):
    assert plot("--version").stdout == "orq-plot %s\n" % orq.__version__
    text = tmp_path / "flight.csv"
    text.write_text("time_s,direction\n")
    result = subprocess.run([sys.executable, PLOT, str(text), "-o", str(tmp_path / "x.png")], capture_output=True,
                            text=True, timeout=120)
    assert result.returncode == 1
    assert result.stderr == "orq-plot: %s: not a capture file (bad magic number)\n" % text
