#!/usr/bin/env bash
# A churn soak on the test bed: CYCLES connect/disconnect cycles across three
# profiles (a split tunnel, one with DNS, a full tunnel with the kill switch),
# with the gateway's charon killed and restarted under a live tunnel every
# CYCLES/50 cycles. The daemon's open descriptors and resident memory must
# stay flat (the last 50 cycles against the first 50), every cycle must
# connect and stop, and after the last stop the namespace must be exactly as
# before the first connect. Prints its figures. It takes several minutes, so
# it is not part of the default test run:
#
#   bench/churn_soak.sh HELPER TESTCLIENT [CYCLES]     (default 500)
set -euo pipefail
# shellcheck source=../tests/netns/testbed.sh
source "$(dirname "$0")/../tests/netns/testbed.sh"
export CYCLES=${3:-500}
: "${BED_PREFIX:=tvs-$$}"
bed_daemon_up "$1" "$2"

L=$BED_LAN_NET
bed_make_profile split psk user=user02 name=Split routes=$L >/dev/null
bed_make_profile dns psk user=user03 name=Dns routes=$L dnsServers=$BED_LAN_ADDR \
    searchDomains=soak.tvs.test >/dev/null
bed_make_profile full psk user=user04 name=Full remoteTS=0.0.0.0/0 dnsServers=$BED_LAN_ADDR \
    killSwitchEnabled=true >/dev/null

inner() {
    set -u
    local passed=0 failed=0 base=$W/baseline
    eventually 15 machine_settled || true
    machine_snapshot >"$base"
    launch
    local profiles=(split dns full) every=$((CYCLES / 50)) restarts=0 refused=0
    [ "$every" -ge 1 ] || every=1
    local fds=() rss=() i name reply t0=$SECONDS
    for ((i = 0; i < CYCLES; i++)); do
        name=${profiles[i % 3]}
        reply=$(start_profile "$name")
        if ! grep -q '^reply start 0 Connected' <<<"$reply"; then
            refused=$((refused + 1))
            echo "churn_soak: cycle $i ($name): $reply" >&2
        fi
        if ((i % every == every - 1)); then
            outside bed_gateway_restart && restarts=$((restarts + 1))
        fi
        reply=$(T stop "$(id_of "$name")")
        grep -q '^reply stop 0' <<<"$reply" || {
            refused=$((refused + 1))
            echo "churn_soak: stop in cycle $i ($name): $reply" >&2
        }
        fds+=("$(find "/proc/$hp/fd" -mindepth 1 | wc -l)")
        rss+=("$(awk '/^VmRSS/ {print $2}' "/proc/$hp/status")")
        ((i % 50 == 49)) && echo "churn_soak: $((i + 1)) cycles, ${fds[i]} fds, ${rss[i]} kB"
    done
    local seconds=$((SECONDS - t0))
    # max FIRST COUNT ARRAY-VALUES...: the largest of COUNT values from FIRST.
    window_max() {
        local first=$1 count=$2
        shift 2
        printf '%s\n' "${@:first+1:count}" | sort -n | tail -n 1
    }
    local n=${#fds[@]} w=50
    ((n >= 2 * w)) || w=$((n / 2))
    local fd_first fd_last rss_first rss_last
    fd_first=$(window_max 0 "$w" "${fds[@]}")
    fd_last=$(window_max $((n - w)) "$w" "${fds[@]}")
    rss_first=$(window_max 0 "$w" "${rss[@]}")
    rss_last=$(window_max $((n - w)) "$w" "${rss[@]}")
    echo "churn_soak: $n cycles and $restarts gateway restarts in $seconds s;" \
        "descriptors max $fd_first (first $w) -> $fd_last (last $w);" \
        "RSS max $rss_first kB -> $rss_last kB"
    check "every cycle connected and stopped ($refused failures)" test "$refused" -eq 0
    check "descriptors flat ($fd_first -> $fd_last)" test "$fd_last" -le "$fd_first"
    # A sanitized daemon keeps freed memory in quarantine: a wider bound.
    local growth=2048
    grep -qa __asan_init "$HELPER" && growth=$((256 * 1024))
    check "RSS flat ($rss_first -> $rss_last kB, at most +$growth kB)" \
        test "$rss_last" -le $((rss_first + growth))
    reply=$(T stop-all)
    check "stop-all: $reply" grep -q '^reply stop-all 0' <<<"$reply"
    restored "after the last stop" "$base"
    kill -TERM "$hp"
    wait "$hp" 2>/dev/null || true
    daemon_summary churn_soak
}
export -f inner

bed_private_with_outside inner
