#!/usr/bin/env bash
# Installs, from Debian packages only, what is missing of one of two sets:
#   run   what the library, the tools (the server's dashboard included), the
#         Java and Python bindings and the demos need to build and run;
#   all   that, and what the tests, benchmarks, fuzzers, the browser test,
#         the serial-bridge tests and the Debian package (dpkg-shlibdeps) need.
# `make demo` installs the run set, `make test` and CI all of it.
# Idempotent: packages already present are not touched.
# usage: scripts/install-deps.sh [run|all]   (default: all)
set -euo pipefail

set_name=${1:-all}
run=(
  g++ make cmake pkg-config
  libboost-thread-dev libboost-system-dev libboost-date-time-dev libboost-chrono-dev
  libboost-dev nlohmann-json3-dev libcli11-dev
  openjdk-17-jdk-headless
  python3 python3-matplotlib
  # fonttools (under matplotlib) needs scipy or munkres: the small one, which
  # spares a fresh machine scipy and its compilers (about a minute).
  python3-munkres
)
testing=(
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  clang libclang-rt-14-dev
  valgrind
  ser2net
  python3-pytest
  dpkg-dev
  chromium
)
case "$set_name" in
  run) packages=("${run[@]}") ;;
  all) packages=("${run[@]}" "${testing[@]}") ;;
  *) echo "usage: $0 [run|all]" >&2; exit 2 ;;
esac

# Node.js and npm vendor the dashboard's chart library (and drive the browser
# test). A Node.js that came with its own npm (as from NodeSource) is kept.
if ! command -v npm >/dev/null 2>&1; then
  packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "installing: ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
if ! $SUDO apt-get install -y --no-install-recommends "${missing[@]}"; then
  $SUDO apt-get update
  $SUDO apt-get install -y --no-install-recommends "${missing[@]}"
fi
