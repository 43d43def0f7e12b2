#!/usr/bin/env bash
# The demo behind `make demo`: a simulated flight board (ID 5) and ground
# station (ID 6) on a pseudo-terminal, watched by the monitor for 15 s. At 5 s
# the monitor sets the flight board's GPS mode to Home (data ID 32 = 2) and
# waits for the board to report that mode back. The run is recorded into
# BUILD_DIR/demo/flight.orqcap and drawn into BUILD_DIR/demo/flight.png, whose
# title names the link and which marks the set.
#
# usage: tools/demo.sh [BUILD_DIR]
set -euo pipefail

build=${1:-build}
sim=$build/tools/orq-sim
monitor=$build/tools/orq-monitor
plot=$build/tools/orq-plot
out=$build/demo
capture=$out/flight.orqcap
picture=$out/flight.png
work=$(mktemp -d)
mkdir -p "$out"
sim_pid=""

cleanup() {
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$sim" --fb 5 --gs 6 --link "$work/line" --duration 120 >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -e "$work/line" ] && break
  sleep 0.1
done
if [ ! -e "$work/line" ]; then
  echo "demo: the simulator did not start" >&2
  cat "$work/sim.log" >&2
  exit 1
fi
head -n 1 "$work/sim.log"

# The monitor exits with 3 when the set fails or is not reported back.
status=0
"$monitor" --id 1 --duration 15 --set 5:32:0:2@5 --capture "$capture" "$work/line" || status=$?

kill "$sim_pid"
wait "$sim_pid" || true
sim_pid=""
tail -n 1 "$work/sim.log"

if [ "$status" -ne 0 ]; then
  echo "demo: FAILED (monitor exit code $status)" >&2
  exit 1
fi
echo "demo: both devices typed and reporting; GPS mode Home set on node 5 and reported back"
# The plot names the link as the user knows it, not the pty's temporary path.
/usr/bin/python3 "$plot" --link-name "orq-sim line (flight board 5, ground station 6)" "$capture" -o "$picture" >/dev/null
echo "demo: capture $capture"
echo "demo: plot    $picture"
