#!/usr/bin/env bash
# Installs the Debian package built in BUILD (make package) with dpkg -i,
# checks that a host can use it (pkg-config, find_package, Python, the tools),
# then removes it with dpkg -r and checks that every file it brought is gone;
# finally purges dpkg's record of it.
# Needs root; refuses to touch an orq package installed before.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
deb=$(ls "$build"/orq_*.deb)
status=$(dpkg-query -W -f='${Status}' orq 2>/dev/null || true)
if [ "$status" = "install ok installed" ]; then
  echo "check-package: an orq package is already installed; not touching it"; exit 1
fi
work=$(mktemp -d)
installed=0
cleanup() {
  [ "$installed" = 1 ] && dpkg -r orq >/dev/null 2>&1 || true
  dpkg -P orq >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT

fail() { echo "check-package: $*"; exit 1; }

dpkg -i "$deb" >/dev/null
installed=1
dpkg-query -L orq | sort >"$work/files"

[ "$(pkg-config --modversion orq)" = "$(dpkg-query -W -f='${Version}' orq)" ] || fail "pkg-config version"
printf '#include <orq/Dll.h>\nint main(void) { int n = 0; return getComponents(0, 0, &n) == ERROR_COMPONENT_NOT_SUPPORTED ? 0 : 1; }\n' >"$work/host.c"
cc -std=c99 -Wall -Werror "$work/host.c" $(pkg-config --cflags --libs orq) -o "$work/host"
"$work/host" || fail "a C host built with pkg-config did not run"
mkdir "$work/cmake"
printf 'cmake_minimum_required(VERSION 3.16)\nproject(h C)\nfind_package(orq 1 REQUIRED)\nadd_executable(h %s)\ntarget_link_libraries(h orq::orq)\n' \
  "$work/host.c" >"$work/cmake/CMakeLists.txt"
cmake -S "$work/cmake" -B "$work/cmake/build" >/dev/null && cmake --build "$work/cmake/build" >/dev/null
"$work/cmake/build/h" || fail "a C host built with find_package did not run"
/usr/bin/python3 -c 'import orq; assert orq.FlightBoard.GPS_MODE == 32; orq.load_library()' || fail "Python package"
{ orq-sim --help && orq-monitor --help; } >/dev/null 2>&1 || fail "tools"

dpkg -r orq >/dev/null
installed=0
left=0
while read -r f; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then echo "left behind: $f"; left=1; fi
  if [ -d "$f" ] && [[ "$f" == */orq ]]; then echo "directory left behind: $f"; left=1; fi
done <"$work/files"
[ "$left" = 0 ] || fail "dpkg -r did not remove everything"
echo "check-package: $(basename "$deb") installs, works and removes cleanly"
