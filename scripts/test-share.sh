#!/usr/bin/env bash
# Prints how much of the code is test code.
#
# The rule: test code is roughly a quarter to a third of all code. Counted are
# non-blank lines that are not only a comment, in .cpp, .h, .sh and .py files.
# Test code is everything under tests/; the rest is every other such file in
# the tree except bench/ (figures, not checks) and build folders (build*/,
# generated code). A comment line is one that starts with // or /* or * (or
# ends a block with */) in C++, or with # in shell and Python (a C++
# preprocessor line is code).
#
#   scripts/test-share.sh [TREE]     (default: the tree this script is in)
set -euo pipefail
top=$(cd "${1:-$(dirname "$0")/..}" && pwd)
cd "$top"

# count FILE...: the code lines of the given files.
count() {
    [ $# -gt 0 ] || {
        echo 0
        return
    }
    awk '
        FNR == 1 { cxx = (FILENAME ~ /\.(cpp|h)$/); inblock = 0 }
        {
            line = $0
            sub(/^[ \t]+/, "", line)
            sub(/[ \t\r]+$/, "", line)
            if (line == "") next
            if (cxx) {
                if (inblock) {
                    if (index(line, "*/")) inblock = 0
                    next
                }
                if (line ~ /^\/\//) next
                if (line ~ /^\/\*/) {
                    if (!index(line, "*/")) inblock = 1
                    next
                }
            } else if (line ~ /^#/) next
            n++
        }
        END { print n + 0 }' "$@"
}

# git knows which files belong to the tree; fall back to find outside a checkout.
list() {
    if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
        git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' '*.sh' '*.py'
    else
        find . -type f \( -name '*.cpp' -o -name '*.h' -o -name '*.sh' -o -name '*.py' \) |
            sed 's|^\./||'
    fi | grep -Ev '^(build[^/]*|bench)/' | while IFS= read -r f; do
        [ -f "$f" ] && printf '%s\n' "$f"
    done
}

mapfile -t tests < <(list | grep '^tests/')
mapfile -t rest < <(list | grep -v '^tests/')
t=$(count "${tests[@]}")
r=$(count "${rest[@]}")
printf 'test code (tests/):           %6d lines in %d files\n' "$t" "${#tests[@]}"
printf 'other code (outside bench/):  %6d lines in %d files\n' "$r" "${#rest[@]}"
awk -v t="$t" -v r="$r" 'BEGIN { printf "test share: %.1f%% of %d lines\n", (t + r) ? 100 * t / (t + r) : 0, t + r }'
