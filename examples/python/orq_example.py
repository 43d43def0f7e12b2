"""A small Python host of liborq: connects on the serial device given as its
argument, lists the nodes, reads the flight board's position and sets its GPS
mode to Home, then watches the board report the new mode. The position is read
once the board reports a fix.

    PYTHONPATH=P/lib/python3/dist-packages python3 orq_example.py /dev/ttyUSB0
"""
import sys
import time

import orq

FB = orq.FlightBoard


def wait_for(condition, seconds=30.0):
    """Polls ``condition`` until it returns a true value (returned) or the time is up (None)."""
    end = time.monotonic() + seconds
    while time.monotonic() < end:
        value = condition()
        if value:
            return value
        time.sleep(0.05)
    return None


def main(device):
    """Runs the example on ``device``; the exit code."""
    with orq.Link(device, own_id=1) as link:
        boards = wait_for(lambda: [n.id for n in link.components() if n.type == 1])
        print("nodes:", " ".join(f"{n.id} (type {n.type})" for n in link.components()))
        if not boards:
            return 1
        board = boards[0]
        wait_for(lambda: link.get(board, FB.GPS_STATUS) != 0)
        longitude, latitude, altitude = link.get_many(board, [(FB.LONGITUDE, 0), (FB.LATITUDE, 0), (FB.ALTITUDE, 0)])
        print(f"flight board {board} position: longitude {longitude} latitude {latitude} altitude {altitude}")
        link.set(board, FB.GPS_MODE, 2)
        home = wait_for(lambda: link.get(board, FB.GPS_MODE) == 2)
        print(f"flight board {board} GPS mode: {link.get(board, FB.GPS_MODE)}")
        print("link statistics:", {s.name: v for s, v in link.statistics().items()})
        return 0 if home else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
