#!/usr/bin/env bash
# The daemon end to end: torvane-helper in the client namespace of the test
# bed (private /run, own PID namespace) brings up real tunnels to the bed's
# strongSwan gateway through its socket, for every authentication method,
# and leaves nothing behind when tunnels go.
#
#   helper_e2e.sh HELPER TESTCLIENT
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
bed_daemon_up "$1" "$2"

# Every method with its own identity, so the gateway keeps their SAs apart.
methods=(psk pskMutual eapMSCHAPv2 eapTLS certificate xauth)
n=2
for m in "${methods[@]}"; do
    bed_make_profile "e2e-$m" "$m" "user=user0$n" "name=E2E $m" >/dev/null
    n=$((n + 1))
done
bed_make_profile e2e-second pskMutual user=user09 "name=Second" >/dev/null
bed_make_profile e2e-unreachable pskMutual user=user10 "name=Unreachable" remoteAddr=10.10.0.77 >/dev/null
untrusted=$BED_WORK/untrusted-client
cp "$TC" "$untrusted"
export untrusted

inner() {
    set -u
    local passed=0 failed=0
    no_charon() { ! pgrep -x charon >/dev/null; }
    no_staging() { [ ! -e /run/torvane/run ]; }
    launch
    T subscribe --seconds 600 >"$W/callbacks.log" 2>&1 &
    local subscriber=$!

    check "version" test "$(T version)" = "reply version 0.1.1"

    # Every method on its own: connected, with its virtual IP on ipsec0 and
    # its CHILD SA installed; stopping it as the last tunnel tears down.
    local m reply status
    for m in "${methods[@]}"; do
        reply=$(start_profile "e2e-$m")
        check "$m connects: $reply" grep -Eq '^reply start 0 Connected \(10\.99\.0\.[0-9]+\)$' <<<"$reply"
        status=$(T status)
        check "$m shows connected on ipsec0" grep -q '"state":"connected","tunDevice":"ipsec0"' <<<"$status"
        check "$m INSTALLED" bash -c "swanctl --list-sas --uri unix:///run/torvane/run/charon.vici 2>/dev/null | grep -q INSTALLED"
        check "$m stops" test "$(T stop "$(id_of "e2e-$m")")" = "reply stop 0 Disconnected E2E $m"
        check "$m: no charon after the last stop" no_charon
        check "$m: no staging tree after the last stop" no_staging
    done

    # Two tunnels share one charon; stopping one keeps the other.
    start_profile e2e-psk >/dev/null
    start_profile e2e-second >/dev/null
    check "one charon for two tunnels" test "$(pgrep -xc charon)" = 1
    T stop "$(id_of e2e-psk)" >/dev/null
    status=$(T status)
    check "the other tunnel stays" grep -q '"profileName":"Second","state":"connected"' <<<"$status"
    check "its SA stays" bash -c "swanctl --list-sas --uri unix:///run/torvane/run/charon.vici 2>/dev/null | grep -q INSTALLED"

    # A wrong key fails with the exit status, listed after the live tunnels.
    reply=$(start_profile psk-wrong)
    check "wrong PSK: $reply" grep -Eq '^reply start 1 Tunnel did not establish \(check credentials / gateway\)\. swanctl exit [0-9]+$' <<<"$reply"
    status=$(T status)
    check "error entry after the live tunnel" grep -Eq '"profileName":"Second","state":"connected".*"state":"error"' <<<"$status"

    # A charon that died is noticed and relaunched.
    kill -9 "$(pgrep -x charon)"
    sleep 0.5
    reply=$(start_profile e2e-psk)
    check "start after charon was killed: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "relaunch logged" grep -q 'callback logLine tracked charon is not running — relaunching' "$W/callbacks.log"

    check "stop-all" test "$(T stop-all)" = "reply stop-all 0 Disconnected"
    check "stop-all: no charon" no_charon
    check "stop-all: no staging tree" no_staging

    start_profile e2e-psk >/dev/null
    check "force-kill" test "$(T force-kill)" = "reply force-kill 0 Force-killed all VPN processes and restored networking"
    check "force-kill: no charon" no_charon
    check "force-kill: no staging tree" no_staging

    # A status request is answered while the engine waits on an initiation
    # towards a gateway that never answers.
    start_profile e2e-unreachable >"$W/unreachable.out" &
    local starter=$!
    sleep 2
    local before after
    before=$(date +%s%N)
    status=$(T status)
    after=$(date +%s%N)
    check "status during a blocked initiation" grep -q '"profileName":"Unreachable","state":"connecting"' <<<"$status"
    echo "status answered in $(((after - before) / 1000000)) ms while the engine was busy"
    wait "$starter" || true
    check "unreachable gateway fails: $(cat "$W/unreachable.out")" grep -q '^reply start 1 Tunnel did not establish' "$W/unreachable.out"

    # The channel: an untrusted program is refused; a malformed line closes
    # only its own connection.
    check "untrusted client refused" bash -c '! "$untrusted" --socket "$0" version >/dev/null 2>&1' "$S"
    check "malformed line closes the connection" bash -c '"$TC" --socket "$0" raw "not json" 2>&1 | grep -q closed' "$S"
    check "the daemon still answers" test "$(T version)" = "reply version 0.1.1"

    # SIGTERM tears everything down and exits 0.
    start_profile e2e-psk >/dev/null
    kill -TERM "$hp"
    local code=0
    wait "$hp" || code=$?
    check "SIGTERM exit status 0 (got $code)" test "$code" = 0
    check "SIGTERM: no charon" no_charon
    check "SIGTERM: no staging tree" no_staging
    kill "$subscriber" 2>/dev/null || true

    # terminateWithReply: replies, then the daemon goes the same way.
    launch
    start_profile e2e-psk >/dev/null
    check "terminate replies" test "$(T terminate)" = "reply terminate"
    code=0
    wait "$hp" || code=$?
    check "terminate: exit status 0 (got $code)" test "$code" = 0
    check "terminate: no charon" no_charon

    daemon_summary helper_e2e
}
export -f inner
export methods_list="${methods[*]}"
bed_client_private bash -c 'methods=($methods_list); inner'
