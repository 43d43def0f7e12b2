#!/usr/bin/env bash
# The demo behind `make demo-web`: a simulated flight board (ID 5) and ground
# station (ID 6) on a pseudo-terminal, served by orq-server with its live
# dashboard on the loopback address. Runs until Ctrl-C.
#
# usage: tools/demo-web.sh [BUILD_DIR]   (ORQ_PORT sets the port, default 8080)
set -euo pipefail

build=${1:-build}
port=${ORQ_PORT:-8080}
work=$(mktemp -d)
sim_pid=""
server_pid=""

cleanup() {
  for pid in $server_pid $sim_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 0' INT TERM

"$build/tools/orq-sim" --fb 5 --gs 6 --link "$work/line" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -e "$work/line" ] && break
  sleep 0.1
done
if [ ! -e "$work/line" ]; then
  echo "demo-web: the simulator did not start" >&2
  cat "$work/sim.log" >&2
  exit 1
fi

"$build/tools/orq-server" --listen "127.0.0.1:$port" "$work/line" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 1 100); do
  grep -q "listening on" "$work/server.log" && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "listening on" "$work/server.log"; then
  echo "demo-web: the server did not start (is port $port taken? set ORQ_PORT)" >&2
  cat "$work/server.log" >&2
  exit 1
fi
grep -o "listening on .*" "$work/server.log"
echo
echo "  Dashboard: http://127.0.0.1:$port/"
echo "  API:       curl http://127.0.0.1:$port/api/nodes"
echo "  Ctrl-C stops the simulator and the server."
wait "$server_pid"
