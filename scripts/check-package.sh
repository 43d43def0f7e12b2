#!/usr/bin/env bash
# Installs the Debian package built in BUILD (make package) with dpkg -i,
# checks that a host can use it (the loader's cache, pkg-config, find_package,
# Python, the tools and the dashboard, the README's links), then removes it
# with dpkg -r and checks that every file it brought is gone and the loader
# forgot the library; finally purges dpkg's record of it.
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
in_loader_cache() { ldconfig -p | grep -qF "liborq.so.1 ("; }

in_loader_cache || fail "liborq.so.1 is not in the loader's cache (ldconfig -p) after dpkg -i"
# The tools, and the dashboard as the build assembled it (with the chart
# library when npm was there), where orq-server looks for it.
tools=(orq-sim orq-monitor orq-dump orq-plot orq-server)
for f in "${tools[@]/#//usr/bin/}" $(cd "$build/tools/web" && printf '/usr/share/orq/web/%s\n' *); do
  grep -qx "$f" "$work/files" && [ -f "$f" ] || fail "$f not installed"
done
bash "$(dirname "$0")/check-readme-links.sh" /usr/share/doc/orq >/dev/null || fail "the installed README's links"

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
for tool in "${tools[@]}"; do
  "$tool" --help >/dev/null 2>&1 || fail "$tool does not start"
done

dpkg -r orq >/dev/null
installed=0
left=0
while read -r f; do
  if [ -e "$f" ] && [ ! -d "$f" ]; then echo "left behind: $f"; left=1; fi
  if [ -d "$f" ] && [[ "$f" == */orq || "$f" == */orq/* ]]; then echo "directory left behind: $f"; left=1; fi
done <"$work/files"
[ "$left" = 0 ] || fail "dpkg -r did not remove everything"
! in_loader_cache || fail "liborq.so.1 is still in the loader's cache after dpkg -r"
echo "check-package: $(basename "$deb") installs, works and removes cleanly"
