#!/usr/bin/env bash
# Runs every benchmark of the library and prints each figure beside its
# baseline measured in the same run, the ratio, the goal and PASS or MISS.
# Usage: bench/run_bench.sh BUILD_DIR   (the programs must be built; `make bench` does both)
set -uo pipefail
build=${1:-build-bench}
bin="$build/bench"
figures=$(mktemp)
trap 'rm -f "$figures"' EXIT

echo "== in-process: receive path, lean path, tick, host calls (Google Benchmark)"
"$bin/bench_receive" --benchmark_min_time=0.3 | tee -a "$figures"

echo
echo "== instructions under callgrind (each the difference of an N and a 2N run, divided by N)"
# Prints the instructions of one unit of `bench_instructions ARGS... N`, or nothing.
per_unit() {
    local n=$1
    shift
    count() {
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/bench_instructions" "$@" 2>&1 |
            sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
    }
    local one two
    one=$(count "$@" "$n")
    two=$(count "$@" $((2 * n)))
    [ -n "$one" ] && [ -n "$two" ] && echo $(((two - one) / n))
}
# FIGURE line: goal, what, measured, baseline, limit ("<= 450" or a ratio "1.1"), kind (abs|ratio).
instruction_figure() {
    local goal=$1 what=$2 measured=$3 baseline=$4 limit=$5 kind=$6
    if [ -z "$measured" ] || [ -z "$baseline" ]; then
        echo "FIGURE|$goal|$what|-|instructions|-|-|-|MISS (callgrind gave no count)" | tee -a "$figures"
        return
    fi
    awk -v g="$goal" -v w="$what" -v m="$measured" -v b="$baseline" -v l="$limit" -v k="$kind" 'BEGIN {
        r = b > 0 ? m / b : -1
        if (k == "abs") { ok = m <= l; lim = "<= " l } else { ok = r >= 0 && r <= l; lim = "<= " l "x" }
        printf "FIGURE|%s|%s|%d|instructions|%d|%.3gx|%s|%s\n", g, w, m, b, r, lim, ok ? "PASS" : "MISS"
    }' | tee -a "$figures"
}
if command -v valgrind >/dev/null; then
    receive=$(per_unit 20000 receive)
    lean=$(per_unit 20000 lean)
    last=$(per_unit 5000 receive-last)
    tick1=$(per_unit 2000 tick 1)
    tick254=$(per_unit 500 tick 254)
    echo "per report: receive path $receive, lean path $lean, from the oldest of 254 boards $last;" \
        "per tick: 1 board $tick1, 254 boards $tick254"
    instruction_figure 1 "receive path, instructions per report (lean path beside it)" "$receive" "$lean" 450 abs
    instruction_figure 2 "report from the oldest of 254 boards vs from the only board" "$last" "$receive" 1.1 ratio
    instruction_figure 3 "main-loop tick, 254 boards vs 1 board" "$tick254" "$tick1" 1.1 ratio
else
    echo "valgrind is not installed (make deps installs it)"
fi

echo
echo "== the library on a pseudo-terminal (liborq.so, its threads, a writer process)"
"$bin/bench_system" | tee -a "$figures"

echo
echo "== summary (times are noisy on a shared machine; the instruction counts are the stable figures)"
printf "%-4s %-66s %14s %-12s %10s %8s %-9s %s\n" goal what measured unit baseline ratio limit verdict
grep '^FIGURE|' "$figures" | sort -t'|' -k2,2 -s |
    awk -F'|' '{ printf "%-4s %-66s %14s %-12s %10s %8s %-9s %s\n", $2, $3, $4, $5, $6, $7, $8, $9 }'
