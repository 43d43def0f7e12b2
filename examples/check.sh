#!/usr/bin/env bash
# The consumer's view of an install: installs the build tree BUILD into a
# staging prefix; checks that every tool and the dashboard are there and the
# tools start, and that every relative link of the installed README resolves;
# builds every example against that prefix only, and runs each against the
# installed orq-sim (a fresh simulator per example); last, runs the README's
# C recipe as the README writes it, with only what the README says to set
# for a prefix the loader does not search.
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
cmake --install "$build" --prefix "$stage" >"$work/install.log"
# The stage is no directory of the loader's: the install says how a host finds the library.
grep -q "a host finds liborq.so.1 there with LD_LIBRARY_PATH=$stage/lib" "$work/install.log" \
  || { cat "$work/install.log"; echo "FAIL: the install did not say how a host finds the library"; exit 1; }
# Nothing of the build tree may leak in.
unset ORQ_LIBRARY LD_LIBRARY_PATH PYTHONPATH CMAKE_PREFIX_PATH

# The tools, each started from the stage, and the dashboard as the build assembled it.
for tool in orq-sim orq-monitor orq-dump orq-plot orq-server; do
  out=$("$stage/bin/$tool" --help 2>&1) || { echo "$out"; echo "FAIL: $tool does not start"; exit 1; }
done
for f in "$build"/tools/web/*; do
  cmp -s "$f" "$stage/share/orq/web/${f##*/}" || { echo "FAIL: dashboard file ${f##*/} not installed"; exit 1; }
done
bash "$here/../scripts/check-readme-links.sh" "$stage/share/doc/orq"
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

# The README's C recipe: the fenced blocks of its "C, with pkg-config"
# paragraph, in order: the program, the commands (the device replaced by the
# simulator's line), the settings for a prefix P (P replaced by the stage).
recipe=$work/recipe
mkdir "$recipe"
awk -v dir="$recipe" '
  /^\*\*C, with pkg-config\*\*/ { inside = 1; next }
  inside && /^\*\*/ { exit }
  inside && /^```/ {
    if (file) { file = ""; next }
    file = dir "/" ((/^```c$/) ? "host.c" : ("block" ++sh ".sh")); printf "" > file; next
  }
  file { print > file }
' "$here/../README.md"
for f in host.c block1.sh block2.sh; do
  [ -s "$recipe/$f" ] || { echo "FAIL: the README's C recipe has no $f block"; exit 1; }
done
grep -q /dev/ttyUSB0 "$recipe/block1.sh" || { echo "FAIL: the README's C recipe names no device"; exit 1; }
start_sim recipe
echo "=== README C recipe"
if ! out=$(cd "$recipe" && bash -euo pipefail -c "$(sed "s|P/|$stage/|g" block2.sh)
$(sed "s|/dev/ttyUSB0|$line|g" block1.sh)" 2>&1); then
  echo "$out"; echo "FAIL: the README's C recipe did not build or run"; exit 1
fi
echo "$out"
grep -qE "^flight board 5: air pressure [1-9][0-9]* Pa$" <<<"$out" || { echo "FAIL: the README's C recipe read no value"; exit 1; }
stop_sim
echo "all examples and the README's C recipe built and ran against $stage"
