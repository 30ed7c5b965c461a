#!/usr/bin/env bash
# A daemon killed with SIGKILL cannot undo its changes; the next one must.
# With a tunnel that changed everything it can (routes, DNS through the
# local proxy, IPv6 off, the kill switch), the daemon is SIGKILLed, its
# charon and dnsmasq left running; a new daemon restores the client
# namespace exactly from the journal and works as before.
#
#   journal_e2e.sh HELPER TESTCLIENT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=testbed.sh
source "$here/testbed.sh"
# shellcheck source=checks.sh
source "$here/checks.sh"
# shellcheck source=machine_state.sh
source "$here/machine_state.sh"
bed_require_root dnsmasq
HELPER=$(realpath "$1")
TC=$(realpath "$2")
export HELPER TC
: "${BED_PREFIX:=tvj-$$}"
trap bed_down EXIT
bed_up
bed_make_profile everything psk user=user11 name=Everything remoteTS=0.0.0.0/0 \
    dnsServers="$BED_LAN_ADDR" searchDomains=corp.tvj.test dnsmasqEnabled=true \
    preventIPv6Leak=true killSwitchEnabled=true >/dev/null

inner() {
    set -u
    local W=$BED_WORK P=$BED_WORK/profiles S=$BED_WORK/helper.sock
    local passed=0 failed=0 hp reply
    T() { "$TC" --socket "$S" "$@"; }
    launch() {
        "$HELPER" --socket "$S" --trust-client "$TC" >>"$W/helper.out" 2>&1 &
        hp=$!
        bed_wait_for_socket "$S"
    }
    running() { pgrep -x "$1" >/dev/null; }
    gone() { ! pgrep -x "$1" >/dev/null; }

    eventually 15 machine_settled || true
    machine_snapshot >"$W/base"
    launch
    reply=$(T start "$P/everything.profile.json" "$P/everything.secrets.json")
    check "the tunnel connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "the namespace was changed" bash -c '! machine_same_as "$0"' "$W/base"
    check "a journal lists the changes" test -s /run/torvane/journal.json

    kill -KILL "$hp"
    wait "$hp" 2>/dev/null || true
    rm -f "$S"
    check "charon outlived the killed daemon" running charon
    check "dnsmasq outlived the killed daemon" running dnsmasq

    launch
    check "the new daemon restores from the journal" eventually 10 grep -q \
        "TorvaneHelper: the previous helper stopped without undoing its changes — restoring" \
        "$W/helper.out"
    restored "SIGKILL, then a new daemon," "$W/base"
    check "the old charon is gone" eventually 10 gone charon
    check "the old dnsmasq is gone" eventually 10 gone dnsmasq
    check "the journal is gone" test ! -e /run/torvane/journal.json
    reply=$(T status)
    check "the new daemon reports no tunnels: $reply" bash -c '! grep -q profileID <<<"$0"' "$reply"

    reply=$(T start "$P/everything.profile.json" "$P/everything.secrets.json")
    check "the tunnel connects again: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "ping through it" ping -c 1 -W 3 "$BED_LAN_ADDR"
    reply=$(T stop-all)
    check "stop-all: $reply" grep -q '^reply stop-all 0' <<<"$reply"
    restored "a stop after the restore" "$W/base"
    kill -TERM "$hp"
    wait "$hp" 2>/dev/null || true
    if [ "$failed" -ne 0 ]; then
        echo "--- the daemon's output:" >&2
        tail -n 60 "$W/helper.out" >&2
    fi
    grep -E "TorvaneHelper: (the previous helper|restored|restore)" "$W/helper.out" |
        sed 's/^/journal_e2e: daemon: /'
    checks_summary journal_e2e
}
export -f inner
bed_client_private bash -c inner
