#!/usr/bin/env bash
# Runs fuzzing campaigns longer than the test suite's smoke runs.
#   scripts/fuzz.sh [SECONDS] [NAME...]     (default: 300 s, every fuzzer)
# Each fuzzer runs for SECONDS with its corpus under build/fuzz-corpus/NAME;
# crashes are written to build/fuzz-findings/NAME. Prints executions and
# findings per fuzzer; exits non-zero when any fuzzer found a crash.
set -euo pipefail
cd "$(dirname "$0")/.."

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

failed=0
for name in "${names[@]}"; do
    corpus=build/fuzz-corpus/$name
    findings=build/fuzz-findings/$name
    mkdir -p "$corpus" "$findings"
    log=build/fuzz-findings/$name.log
    set +e
    "$build/tests/fuzz/fuzz_$name" -max_total_time="$seconds" -max_len=8192 -print_final_stats=1 \
        -artifact_prefix="$findings/" "$corpus" "tests/fuzz/corpus/$name" >"$log" 2>&1
    status=$?
    set -e
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
    crashes=$(find "$findings" -type f | wc -l)
    printf '%-10s %8s s  %12s executions  %d findings  (exit %d)\n' "$name" "$seconds" "$runs" \
        "$crashes" "$status"
    [ "$status" -eq 0 ] && [ "$crashes" -eq 0 ] || failed=1
done
exit $failed
