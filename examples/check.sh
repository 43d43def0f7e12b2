#!/usr/bin/env bash
# The consumer's view of an install: installs the build tree BUILD into a
# staging prefix, builds every example against that prefix only, and runs
# each against the installed orq-sim (a fresh simulator per example).
# Usage: check.sh BUILD WITH_JAVA(0|1)
set -euo pipefail
build=$(cd "$1" && pwd)
with_java=${2:-1}
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
sim_pid=
cleanup() {
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

stage=$work/stage
cmake --install "$build" --prefix "$stage" >/dev/null
# Nothing of the build tree may leak in.
unset ORQ_LIBRARY LD_LIBRARY_PATH PYTHONPATH CMAKE_PREFIX_PATH
export PKG_CONFIG_PATH=$stage/lib/pkgconfig
cp -r "$here" "$work/src"

# Starts the installed simulator on a fresh line; sets $line.
start_sim() {
  line=$work/line-$1
  "$stage/bin/orq-sim" --fb 5 --gs 6 --link "$line" >/dev/null &
  sim_pid=$!
  for _ in $(seq 100); do [ -e "$line" ] && return 0; sleep 0.1; done
  echo "orq-sim did not link $line"; return 1
}
stop_sim() { kill "$sim_pid"; wait "$sim_pid" || true; sim_pid=; }

# Runs one example (the command after the name) and checks what it printed.
run() {
  local name=$1; shift
  start_sim "$name"
  echo "=== $name"
  local out
  if ! out=$("$@" "$line" 2>&1); then echo "$out"; echo "FAIL: $name exited with an error"; exit 1; fi
  echo "$out"
  grep -q "^nodes:.* 5 (type 1)" <<<"$out" || { echo "FAIL: $name did not list the flight board"; exit 1; }
  grep -q "^flight board 5 position: longitude -\?[1-9][0-9]* latitude -\?[1-9]" <<<"$out" || { echo "FAIL: $name did not read a position"; exit 1; }
  grep -q "^flight board 5 GPS mode: 2$" <<<"$out" || { echo "FAIL: $name did not set the GPS mode"; exit 1; }
  stop_sim
}

# The programs must take the library from the stage.
uses_stage() {
  local libs
  libs=$(ldd "$1")
  grep -q "liborq.so.1 => $stage/lib/liborq.so.1 " <<<"$libs" || { echo "$libs"; echo "FAIL: $1 not linked to the stage"; exit 1; }
}

make -s -C "$work/src/c" >/dev/null
uses_stage "$work/src/c/orq_example"
run c "$work/src/c/orq_example"

cmake -S "$work/src/cpp" -B "$work/cpp-build" -DCMAKE_PREFIX_PATH="$stage" -DCMAKE_FIND_USE_SYSTEM_PACKAGE_REGISTRY=OFF >/dev/null
cmake --build "$work/cpp-build" >/dev/null
uses_stage "$work/cpp-build/orq_example"
run cpp "$work/cpp-build/orq_example"

if [ "$with_java" = 1 ]; then
  (cd "$work/src/java" && javac -cp "$stage/share/java/orq.jar" OrqExample.java)
  run java java -Djava.library.path="$stage/lib" -cp "$stage/share/java/orq.jar:$work/src/java" OrqExample
  (cd "$work/src/java" && javac -cp "$stage/share/java/orq.jar" org/orq/example/Example.java)
  run java-package java -Djava.library.path="$stage/lib" -cp "$stage/share/java/orq.jar:$work/src/java" org.orq.example.Example
fi

python_dir=$stage/lib/python3/dist-packages
[ "$(PYTHONPATH=$python_dir /usr/bin/python3 -c 'import orq; print(orq.library_path())')" = "$stage/lib/liborq.so.1" ] \
  || { echo "FAIL: the Python package does not find the library beside it"; exit 1; }
run python env PYTHONPATH="$python_dir" /usr/bin/python3 -B "$work/src/python/orq_example.py"
echo "all examples built and ran against $stage"
