"""orq-plot on captures written here in the capture file format (docs/capture.md)."""
import os
import resource
import struct
import subprocess
import sys
import zlib

# Far more than orq-plot needs (under 200 MB), far less than arrays sized by time would take.
ADDRESS_SPACE_LIMIT = 512 * 1024 * 1024
# Bytes from a start to an end byte: orq-dump shows each such record as one (damaged) frame.
FRAME = b"\xfd\x01\x02\xfc"


def capture(records):
    """A capture file's bytes: the header, then one received-bytes record per (microseconds, payload)."""
    connection = b"test"
    header = b"ORQCAP\r\n" + struct.pack("<HHqBBH", 1, 28 + len(connection), 0, 1, 0, len(connection)) + connection
    out = [header, struct.pack("<I", zlib.crc32(header))]
    for micros, payload in records:
        record = struct.pack("<BQH", 1, micros, len(payload)) + payload
        out += [record, struct.pack("<I", zlib.crc32(record))]
    return b"".join(out)


def limit_address_space():
    resource.setrlimit(resource.RLIMIT_AS, (ADDRESS_SPACE_LIMIT, ADDRESS_SPACE_LIMIT))


def test_a_time_jump_is_cut_out_with_a_warning_and_memory_stays_small(tmp_path):
    path = tmp_path / "jumps.orqcap"
    path.write_bytes(capture([(0, FRAME), (1000000, FRAME), (2**42, FRAME), (2**42 + 1000000, FRAME),
                              (2**62, FRAME)]))
    png = tmp_path / "jumps.png"
    plot = os.path.join(os.environ["ORQ_SOURCE_DIR"], "tools/plot/orq-plot")
    result = subprocess.run([sys.executable, plot, str(path), "-o", str(png), "--dump", os.environ["ORQ_DUMP"]],
                            capture_output=True, text=True, timeout=120, preexec_fn=limit_address_space)
    assert result.returncode == 0, result.stderr
    warnings = [line for line in result.stderr.splitlines() if "implausible time jump" in line]
    assert len(warnings) == 2, result.stderr
    assert "from 1.000000 s to 4398046.511104 s" in warnings[0]
    assert "to 4611686018427.38" in warnings[1]
    assert png.read_bytes()[:8] == b"\x89PNG\r\n\x1a\n"
