#!/usr/bin/env bash
# Installs, from Debian packages only, whatever the build, the tests, the
# benchmarks, the fuzzers, the Java and Python bindings, the server and its
# browser test, and the Debian package (dpkg-shlibdeps) need and is missing.
# Idempotent: packages already present are not touched.
set -euo pipefail

packages=(
  g++ make cmake pkg-config
  libboost-thread-dev libboost-system-dev libboost-date-time-dev libboost-chrono-dev
  googletest libgtest-dev libgmock-dev
  libbenchmark-dev
  openjdk-17-jdk-headless
  clang libclang-rt-14-dev
  valgrind
  libboost-dev nlohmann-json3-dev libcli11-dev
  ser2net
  python3 python3-pytest python3-matplotlib
  dpkg-dev
  chromium
)

# Node.js and npm vendor the dashboard's chart library and drive the browser
# test. A Node.js that came with its own npm (as from NodeSource) is kept.
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
