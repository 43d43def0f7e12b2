#!/usr/bin/env bash
# Where the instructions of one received report go: callgrind collects only
# the measured loop of `bench_instructions receive N` (bench::measuredReceive),
# and callgrind_annotate splits it by function; each function's own
# instructions (callees not included) are divided by N.
# Usage: bench/profile.sh BUILD_DIR [WHAT [N]]   WHAT: receive (default), receive-last, lean
set -euo pipefail
build=${1:-build-bench}
what=${2:-receive}
n=${3:-20000}
out=$(mktemp)
trap 'rm -f "$out"' EXIT
valgrind --tool=callgrind --collect-atstart=no --toggle-collect='bench::measured*' \
    --callgrind-out-file="$out" "$build/bench/bench_instructions" "$what" "$n" >/dev/null 2>&1
echo "instructions per report by function ($what, N=$n; own cost, callees not included)"
callgrind_annotate --inclusive=no --threshold=99.5 "$out" |
    awk -v n="$n" '
        match($0, /^ *[0-9,]+ +\( *[0-9.]+%\) +/) {
            head = substr($0, 1, RLENGTH)
            name = substr($0, RLENGTH + 1)
            split(head, f, "(")
            ir = f[1]; gsub(/[ ,]/, "", ir)
            share = f[2]; gsub(/[ )]/, "", share)
            # "file:function [object]" -> "function", without its parameters.
            sub(/ \[[^]]*\]$/, "", name)
            if (name !~ /PROGRAM TOTALS/) sub(/^[^:]*:/, "", name)
            sub(/@@.*$/, "", name)
            sub(/\(.*$/, "", name)
            printf "%8.1f  %7s  %s\n", ir / n, share, name ~ /PROGRAM TOTALS/ ? "total" : name
        }'
