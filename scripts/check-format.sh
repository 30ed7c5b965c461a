#!/usr/bin/env bash
# Fails when a C++ file differs from what clang-format makes of it.
# With --fix, formats the files in place instead.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t files < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h')
[ ${#files[@]} -eq 0 ] && exit 0
if [ "${1:-}" = --fix ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
if ! clang-format --dry-run --Werror "${files[@]}" 2>/tmp/torvane-format.$$; then
    head -n 40 /tmp/torvane-format.$$ >&2
    rm -f /tmp/torvane-format.$$
    echo "check-format: run scripts/check-format.sh --fix" >&2
    exit 1
fi
rm -f /tmp/torvane-format.$$
