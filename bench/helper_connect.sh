#!/usr/bin/env bash
# Connect-time and status-latency figures of the daemon on the namespace
# test bed (needs root). Prints:
#   - the cold connect time of a first profile (charon launched too) against
#     raw charon + `swanctl --load-all` + `--initiate`;
#   - the warm connect time of a second profile through the daemon (charon
#     already running with a first tunnel up), against raw
#     `swanctl --load-all` + `--initiate` of the same profile on the same
#     staged files, and their ratio;
#   - the latency distribution of statusWithReply: while the engine is blocked
#     initiating towards a gateway that never answers.
#
#   bench/helper_connect.sh [BUILD_DIR] [ROUNDS]     (default build/debug, 10)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/debug}" && pwd)
export ROUNDS=${2:-10}
# shellcheck source=../tests/netns/testbed.sh
source "$top/tests/netns/testbed.sh"
bed_require_root
export HELPER=$build/helper/torvane-helper TC=$build/tests/tools/torvane-testclient
export BENCH=$build/bench/torvane-bench-status
trap bed_down EXIT
bed_up
bed_make_profile first pskMutual user=user02 name=First >/dev/null
export SECOND_ID
SECOND_ID=$(bed_make_profile second pskMutual user=user03 name=Second)
bed_make_profile unreachable pskMutual user=user04 name=Unreachable remoteAddr=10.10.0.77 >/dev/null

inner() {
    set -eu
    local W=$BED_WORK P=$BED_WORK/profiles S=$BED_WORK/helper.sock
    ms() { echo $(($(date +%s%N) / 1000000)); }
    median() { sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
    T() { "$TC" --socket "$S" "$@"; }

    "$HELPER" --socket "$S" --trust-client "$TC" --trust-client "$BENCH" >"$W/helper.out" 2>&1 &
    local hp=$!
    bed_wait_for_socket "$S"
    local i t0 daemon=() cold_daemon cold_raw
    t0=$(ms)
    T start "$P/first.profile.json" "$P/first.secrets.json" >/dev/null
    cold_daemon=$(($(ms) - t0))
    for ((i = 0; i < ROUNDS; i++)); do
        t0=$(ms)
        T start "$P/second.profile.json" "$P/second.secrets.json" | grep -q '^reply start 0'
        daemon+=($(($(ms) - t0)))
        [ -d "$W/staged" ] || cp -a /run/torvane/run "$W/staged"
        T stop "$SECOND_ID" >/dev/null
    done

    T start "$P/unreachable.profile.json" "$P/unreachable.secrets.json" >/dev/null &
    sleep 1
    "$BENCH" "$S" 2000
    wait $! || true
    T stop-all >/dev/null
    T terminate >/dev/null
    wait "$hp" || true

    # The same staged files, driven by hand.
    mkdir -p /run/torvane
    cp -a "$W/staged" /run/torvane/run
    rm -f /run/torvane/run/charon.vici
    export STRONGSWAN_CONF=/run/torvane/run/strongswan.conf SWANCTL_DIR=/run/torvane/run/swanctl
    local uri=unix:///run/torvane/run/charon.vici second=ov-${SECOND_ID,,} raw=()
    t0=$(ms)
    /usr/lib/ipsec/charon >"$W/raw-charon.log" 2>&1 &
    local cp=$!
    bed_wait_for_socket /run/torvane/run/charon.vici
    swanctl --load-all --uri "$uri" >/dev/null 2>&1
    swanctl --initiate --child "ov-$(sed -n 's/.*"id":"\([^"]*\)".*/\1/p' "$P/first.profile.json" | tr A-Z a-z)" --uri "$uri" >/dev/null 2>&1
    cold_raw=$(($(ms) - t0))
    for ((i = 0; i < ROUNDS; i++)); do
        t0=$(ms)
        swanctl --load-all --uri "$uri" >/dev/null 2>&1
        swanctl --initiate --child "$second" --uri "$uri" 2>&1 | grep -q 'initiate completed successfully'
        raw+=($(($(ms) - t0)))
        swanctl --terminate --ike "$second" --uri "$uri" >/dev/null 2>&1
    done
    kill "$cp"
    wait "$cp" || true

    local d r
    d=$(printf '%s\n' "${daemon[@]}" | median)
    r=$(printf '%s\n' "${raw[@]}" | median)
    echo "cold connect (charon started too): daemon $cold_daemon ms, raw charon + swanctl $cold_raw ms," \
        "ratio $(awk -v d="$cold_daemon" -v r="$cold_raw" 'BEGIN {printf "%.2f", d / r}')"
    echo "warm connect of a second profile, median of $ROUNDS: daemon $d ms, raw swanctl $r ms," \
        "ratio $(awk -v d="$d" -v r="$r" 'BEGIN {printf "%.2f", d / r}')"
}
export -f inner
bed_client_private bash -c inner
