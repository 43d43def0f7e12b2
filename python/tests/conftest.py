"""Fixtures: the simulator (orq-sim from the build, in ORQ_SIM) serving a flight board (5) and a ground
station (6) on a pseudo-terminal linked into the test's own temporary directory, and an open Link on it."""
import os
import subprocess
import time

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
