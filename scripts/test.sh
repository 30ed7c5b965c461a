#!/usr/bin/env bash
# Installs what is missing, builds Torvane twice and runs every test in both:
# a normal build with warnings as errors, and a clang build with
# AddressSanitizer, UndefinedBehaviorSanitizer and the fuzzers' smoke runs.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh
scripts/check-format.sh
# A real systemd-resolved for its backend's namespace test, unpacked only.
TORVANE_RESOLVED_BIN=$(scripts/unpack-resolved.sh) || TORVANE_RESOLVED_BIN=
export TORVANE_RESOLVED_BIN

jobs=$(nproc)
started=$SECONDS

echo "== build: debug (gcc, -Werror)"
cmake -S . -B build/debug -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTORVANE_WERROR=ON >/dev/null
cmake --build build/debug -j "$jobs"
echo "== test: debug"
ctest --test-dir build/debug --output-on-failure -j "$jobs"

echo "== build: sanitize (clang, ASan + UBSan, fuzzers)"
CC=clang CXX=clang++ cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTORVANE_WERROR=ON -DTORVANE_SANITIZE=ON -DTORVANE_FUZZ=ON >/dev/null
cmake --build build/sanitize -j "$jobs"
echo "== test: sanitize"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    ctest --test-dir build/sanitize --output-on-failure -j "$jobs"

echo "== all tests passed in $((SECONDS - started)) s"
