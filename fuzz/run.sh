#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan), replays the checked-in
# corpus of each as a regression test, then fuzzes each target for a while.
#
#   fuzz/run.sh [seconds per target]      default 60; 0 only replays
#
# Environment: ORQ_FUZZ_BUILD  build directory (default build-fuzz)
#              ORQ_FUZZ_JOBS   targets fuzzed at the same time (default 1)
#
# New inputs go to a work corpus inside the build directory; an input that
# crashes or breaks an invariant is written to fuzz/corpus/<target>/ as
# crash-<sha1> (or timeout-/oom-), where the replay picks it up from then on
# (also the gtest test_fuzz_corpus). A summary line per target gives the
# executions and the coverage (cov, ft) of libFuzzer's final statistics.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-60}
build=${ORQ_FUZZ_BUILD:-build-fuzz}
jobs=${ORQ_FUZZ_JOBS:-1}
targets=(message_decode receive_stream receive_path capture_file)

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORQ_FUZZ=ON >/dev/null
cmake --build "$build" -j2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=halt_on_error=1:detect_leaks=1:allocator_may_return_null=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1

# The library's diagnostic lines go to stdout; -close_fd_mask=1 silences them.
common=(-close_fd_mask=1 -timeout=10 -rss_limit_mb=2048)

status=0
for t in "${targets[@]}"; do
  echo "== replay fuzz/corpus/$t"
  if ! "$build/fuzz/fuzz_$t" "${common[@]}" -runs=0 "fuzz/corpus/$t" >"$build/replay-$t.log" 2>&1; then
    echo "FAILED: replay of fuzz/corpus/$t (see $build/replay-$t.log)"
    tail -n 30 "$build/replay-$t.log"
    status=1
  fi
done
[ "$seconds" -gt 0 ] || exit $status

fuzz_one() {
  local t=$1 work="$build/fuzz-work/$1" log="$build/fuzz-$1.log"
  mkdir -p "$work"
  local rc=0
  # The heavy corpus inputs (tens of kB) are replayed whole above; mutating
  # inputs that long would slow the search tenfold, so new ones stay short.
  "$build/fuzz/fuzz_$t" "${common[@]}" -max_len=4096 -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="fuzz/corpus/$t/" "$work" "fuzz/corpus/$t" >"$log" 2>&1 || rc=$?
  local done_line execs
  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
  execs=$(grep -E '^stat::number_of_executed_units:' "$log" | awk '{print $2}' || true)
  echo "$t: seconds=$seconds executions=${execs:-?} $(echo "$done_line" | grep -oE 'cov: [0-9]+ ft: [0-9]+' || echo 'cov: ? ft: ?') exit=$rc"
  if [ $rc -ne 0 ]; then
    echo "FAILED: $t found a fault (see $log; reproducer in fuzz/corpus/$t/)"
    grep -E 'runtime error|ERROR|invariant broken|SUMMARY' "$log" | head -n 10
    return 1
  fi
}

echo "== fuzzing ${seconds}s per target"
pids=()
names=()
for t in "${targets[@]}"; do
  fuzz_one "$t" &
  pids+=($!)
  names+=("$t")
  if [ ${#pids[@]} -ge "$jobs" ]; then
    wait "${pids[0]}" || status=1
    pids=("${pids[@]:1}")
  fi
done
for p in "${pids[@]}"; do wait "$p" || status=1; done
exit $status
