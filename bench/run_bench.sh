#!/usr/bin/env bash
# Runs every benchmark of the library and prints each figure beside its goal.
# Usage: bench/run_bench.sh BUILD_DIR   (the programs must be built; `make bench` does both)
set -uo pipefail
build=${1:-build-bench}
bin="$build/bench"
figures=$(mktemp)
trap 'rm -f "$figures"' EXIT

echo "== in-process: receive path and host calls (Google Benchmark)"
"$bin/bench_receive" --benchmark_min_time=0.3 | tee -a "$figures"

echo
echo "== instructions per report on the receive path (callgrind, N and 2N reports)"
if command -v valgrind >/dev/null; then
    n=20000
    count() {
        valgrind --tool=callgrind --callgrind-out-file=/dev/null "$bin/bench_instructions" "$1" 2>&1 |
            sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
    }
    one=$(count $n)
    two=$(count $((2 * n)))
    if [ -n "$one" ] && [ -n "$two" ]; then
        per=$(( (two - one) / n ))
        echo "N=$n: $one instructions, 2N: $two instructions"
        verdict=PASS
        [ "$per" -le 1500 ] || verdict=MISS
        echo "FIGURE|1|receive path, instructions per report (bytes to mirrored field)|$per||<= 1500|$verdict" |
            tee -a "$figures"
    else
        echo "callgrind gave no instruction count"
    fi
else
    echo "valgrind is not installed (make deps installs it)"
fi

echo
echo "== the library on a pseudo-terminal (liborq.so, its threads, a writer process)"
"$bin/bench_system" | tee -a "$figures"

echo
echo "== summary (times are noisy on a shared machine; the instruction count is the stable figure)"
grep '^FIGURE|' "$figures" | sort -t'|' -k2,2 -s |
    awk -F'|' '{ printf "goal %-2s %-62s %12s %-4s %-12s %s\n", $2, $3, $4, $5, $6, $7 }'
