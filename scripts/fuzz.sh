#!/usr/bin/env bash
# Runs fuzzing campaigns longer than the test suite's smoke runs.
#   scripts/fuzz.sh [-j JOBS] [SECONDS] [NAME...]   (default: 1 job, 300 s, every fuzzer)
# Each fuzzer runs for SECONDS with its corpus under build/fuzz-corpus/NAME;
# crashes are written to build/fuzz-findings/NAME. Up to JOBS fuzzers run at
# once (one per core is the most that helps). Prints executions and findings
# per fuzzer; exits non-zero when any fuzzer found a crash.
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=1
if [ "${1:-}" = "-j" ]; then
    jobs=$2
    shift 2
fi
seconds=${1:-300}
shift || true
build=build/sanitize
if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTORVANE_SANITIZE=ON -DTORVANE_FUZZ=ON >/dev/null
fi
cmake --build "$build" >/dev/null

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    mapfile -t names < <(find "$build/tests/fuzz" -maxdepth 1 -name 'fuzz_*' -type f -perm -u+x \
        -printf '%f\n' | sed 's/^fuzz_//' | sort)
fi

# campaign NAME: one fuzzer's run; prints its line of the table.
campaign() {
    local name=$1 corpus=build/fuzz-corpus/$1 findings=build/fuzz-findings/$1
    local log=build/fuzz-findings/$1.log status runs crashes
    mkdir -p "$corpus" "$findings"
    set +e
    "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1
    status=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    crashes=$(find "$findings" -type f | wc -l)
    printf '%-18s %6s s  %12s executions  %d findings  (exit %d)\n' "$name" "$seconds" "$runs" \
        "$crashes" "$status"
    [ "$status" -eq 0 ] && [ "$crashes" -eq 0 ]
}

failed=0
running=()
for name in "${names[@]}"; do
    if [ ${#running[@]} -ge "$jobs" ]; then
        wait "${running[0]}" || failed=1
        running=("${running[@]:1}")
    fi
    campaign "$name" &
    running+=($!)
done
for pid in "${running[@]}"; do
    wait "$pid" || failed=1
done
exit $failed
