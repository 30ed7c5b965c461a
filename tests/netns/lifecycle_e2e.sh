#!/usr/bin/env bash
# The daemon stopped while it is busy. With a full tunnel up (routes, DNS,
# kill switch), a second start towards an address where no gateway answers
# hangs in its initiation; SIGTERM then cuts that start short instead of
# waiting out the initiation's 20 s, answers it, and the teardown leaves the
# client namespace exactly as it was before the daemon ran.
#
#   lifecycle_e2e.sh HELPER TESTCLIENT
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
bed_daemon_up "$1" "$2"

bed_make_profile full psk user=user02 name=Full remoteTS=0.0.0.0/0 \
    dnsServers=$BED_LAN_ADDR killSwitchEnabled=true >/dev/null
bed_make_profile silent pskMutual user=user03 name=Silent remoteAddr=10.10.0.77 >/dev/null

inner() {
    set -u
    local passed=0 failed=0
    machine_snapshot >"$W/base"
    launch
    check "the full tunnel connects" grep -q '^reply start 0 Connected' <<<"$(start_profile full)"
    start_profile silent >"$W/silent.out" 2>&1 &
    local starter=$!
    check "the second start waits in its initiation" \
        eventually 10 pgrep -f -- '--initiate --child ov-'
    sleep 1

    local before after code=0
    before=$(date +%s%N)
    kill -TERM "$hp"
    wait "$hp" || code=$?
    after=$(date +%s%N)
    echo "the daemon exited $(((after - before) / 1000000)) ms after SIGTERM"
    wait "$starter" || true
    check "SIGTERM exit status 0 (got $code)" test "$code" = 0
    check "the start is answered as cancelled: $(cat "$W/silent.out")" \
        grep -qx 'reply start 1 Cancelled: the helper is stopping' "$W/silent.out"
    check "the cancellation is logged" logged "start of 'Silent' cancelled — the helper is stopping"
    check "no charon left" fails pgrep -x charon
    check "no swanctl left" fails pgrep -x swanctl
    check "no staging tree left" test ! -e /run/torvane/run
    restored "SIGTERM during a start" "$W/base"

    daemon_summary lifecycle_e2e
}
export -f inner
bed_client_private bash -c inner
