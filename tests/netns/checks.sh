# shellcheck shell=bash
# Counted checks for the namespace test scripts. Source it, then:
#   check "what is checked" COMMAND...   counts COMMAND's success or failure
#   fails COMMAND...                     succeeds when COMMAND fails
#   checks_summary NAME                  prints "NAME: N passed, M failed";
#                                        fails when any check failed
# The counters live in the calling shell; scripts that run their checks in
# another bash (through `export -f`) export these functions too.

passed=0
failed=0

check() {
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $what" >&2
    fi
}

fails() { ! "$@"; }

checks_summary() {
    echo "$1: ${passed:-0} passed, ${failed:-0} failed"
    [ "${failed:-0}" -eq 0 ]
}

export -f check fails checks_summary
