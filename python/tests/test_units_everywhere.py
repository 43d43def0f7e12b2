"""One value, one unit, wherever it is shown: the server's REST API, orq-dump's table and this package read
the same data IDs' units by the same rule, so a value mirrored from the simulator carries the same symbol and
the same number in all three."""
import csv
import json
import os
import re
import signal
import subprocess
import urllib.error
import urllib.request

import orq
import orq.capture
from conftest import DEADLINE, wait_for

BOARD = 5


def get(url):
    with urllib.request.urlopen(url, timeout=DEADLINE) as answer:
        return json.load(answer)


def board_values(url):
    """The board's node on the server once it mirrors the board's values; None before (404 until it is heard)."""
    try:
        node = get(url + f"api/nodes/{BOARD}")
    except urllib.error.HTTPError as refused:
        if refused.code == 404:
            return None
        raise
    return node if node.get("alive") and len(node.get("data", [])) > 20 else None


def test_rest_orq_dump_and_the_package_show_every_value_in_the_same_unit(sim_line, tmp_path):
    capture = tmp_path / "flight.orqcap"
    server = subprocess.Popen([os.environ["ORQ_SERVER"], "--listen", "127.0.0.1:0", "--capture", str(capture),
                               sim_line], stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    try:
        url = None
        while url is None:  # the line that names the port; the library's own lines come first
            line = server.stdout.readline()
            assert line, "orq-server ended before it listened"
            found = re.search(r"listening on (http://127\.0\.0\.1:\d+/)", line)
            url = found and found.group(1)
        node = wait_for(lambda: board_values(url), "the board's values on the server")
        names = get(url + "api/names")
    finally:
        server.send_signal(signal.SIGINT)
        server.communicate(timeout=DEADLINE)

    # REST against the package: every value of the board, raw and in its unit.
    compared = 0
    for item in node["data"]:
        member = orq.FlightBoard[item["name"]]
        assert item["symbol"] == member.symbol, item["name"]
        for raw, shown in zip(item["values"], item["inUnit"]):
            assert shown == round(member.to_unit(raw), orq.Unit(member.unit).decimals), (item["name"], raw)
            compared += 1
    assert compared > 20
    board = next(t for t in names["types"] if t["type"] == 1)
    assert len(board["rows"]) == len(orq.FlightBoard)
    for row in board["rows"]:
        member = orq.FlightBoard[row["name"]]
        assert (row["symbol"], row["scale"], row["decimals"]) == \
            (member.symbol, member.scale, orq.Unit(member.unit).decimals), row["name"]

    # orq-dump against the package, on what the server recorded: each column's unit is its data ID's, and
    # each cell the package's value of the same raw integer.
    dump = subprocess.run([os.environ["ORQ_DUMP"], "--csv", str(capture)], capture_output=True, text=True,
                          timeout=DEADLINE, check=True)
    rows = list(csv.DictReader(dump.stdout.splitlines()))
    records = list(orq.capture.read(capture))
    assert len(rows) == len(records)
    cells = 0
    for record, row in zip(records, rows):
        for field, unit in record.units.items():
            if not unit.known or not unit.symbol:
                continue
            column = f"{record.name.removesuffix('.set')}.{field} [{unit.symbol}]"
            assert row[column] == unit.format(record.values[field]), (column, row["time_s"])
            cells += 1
    assert cells > 100
