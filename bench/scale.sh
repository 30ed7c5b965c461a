#!/usr/bin/env bash
# Twenty profiles connected at once to one gateway (twenty identities), on
# the namespace test bed (needs root). Prints the time to connect all of
# them one after another, a reordering (routes and DNS reconciled for all
# twenty), a path change (all twenty verified), stop-all, the status
# snapshot's size, and the daemon's and charon's resident memory idle and
# with twenty tunnels.
#
#   bench/scale.sh [BUILD_DIR] [TUNNELS]     (default build/debug, 20)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$top/build/debug}" && pwd)
export TUNNELS=${2:-20}
# shellcheck source=../tests/netns/testbed.sh
source "$top/tests/netns/testbed.sh"
bed_require_root
export HELPER=$build/helper/torvane-helper TC=$build/tests/tools/torvane-testclient
trap bed_down EXIT
bed_up
export IDS=""
for ((i = 1; i <= TUNNELS; i++)); do
    user=$(printf 'user%02d' "$i")
    [ "$i" -le 20 ] || bed_add_user "$user"
    IDS+=" $(bed_make_profile "t$i" psk user="$user" name="Tunnel $i" priority="$i" \
        routes="10.200.0.0/24" dnsServers="$BED_LAN_ADDR" searchDomains="t$i.scale.test")"
done

inner() {
    set -eu
    local W=$BED_WORK P=$BED_WORK/profiles S=$BED_WORK/helper.sock
    ms() { echo $(($(date +%s%N) / 1000000)); }
    rss() { awk '/^VmRSS/ {print $2}' "/proc/$1/status"; }
    T() { "$TC" --socket "$S" "$@"; }

    "$HELPER" --socket "$S" --trust-client "$TC" >"$W/helper.out" 2>&1 &
    local hp=$!
    bed_wait_for_socket "$S"
    T status >/dev/null
    local idle t0 all i connected reorder stopall
    idle=$(rss "$hp")
    t0=$(ms)
    for ((i = 1; i <= TUNNELS; i++)); do
        T start "$P/t$i.profile.json" "$P/t$i.secrets.json" | grep -q '^reply start 0' ||
            echo "scale: tunnel $i did not connect" >&2
    done
    all=$(($(ms) - t0))
    connected=$(T status | grep -o '"state":"connected"' | wc -l)
    local status_bytes busy charon_rss
    status_bytes=$(T status | sed 's/^reply status //' | wc -c)
    busy=$(rss "$hp")
    charon_rss=$(rss "$(pgrep -x charon)")
    # The reverse order: the last tunnel now owns the shared route and DNS.
    local reversed
    reversed=$(tr ' ' '\n' <<<"$IDS" | grep . | tac | tr '\n' ' ')
    t0=$(ms)
    # shellcheck disable=SC2086
    T priorities $reversed >/dev/null
    reorder=$(($(ms) - t0))
    # A path change: the default route moves to a second router address on
    # the same link. Timed until every tunnel has been verified (or
    # reconnected), the settle delay before the verification included.
    local mark path_change verified
    mark=$(wc -l <"$W/helper.out")
    t0=$(ms)
    ip route replace default via 10.10.0.254 dev "$BED_PREFIX-c"
    verified() {
        tail -n "+$((mark + 1))" "$W/helper.out" |
            grep -cE "healthy after path change|reconnecting .*network path changed" || true
    }
    while [ "$(verified)" -lt "$TUNNELS" ] && [ $(($(ms) - t0)) -lt 120000 ]; do
        sleep 0.05
    done
    path_change=$(($(ms) - t0))
    ip route replace default via "$BED_GW_ADDR" dev "$BED_PREFIX-c"
    t0=$(ms)
    T stop-all >/dev/null
    stopall=$(($(ms) - t0))
    T terminate >/dev/null
    wait "$hp" || true

    echo "scale: $connected of $TUNNELS tunnels connected"
    echo "connect $TUNNELS tunnels one after another: $all ms ($((all / TUNNELS)) ms each)"
    echo "reorder $TUNNELS tunnels (routes and DNS reconciled): $reorder ms"
    echo "path change with $TUNNELS tunnels (all verified): $path_change ms ($(verified) verified)"
    echo "stop-all of $TUNNELS tunnels: $stopall ms"
    echo "status snapshot with $TUNNELS tunnels: $status_bytes bytes"
    echo "daemon RSS: idle $idle KiB, with $TUNNELS tunnels $busy KiB; charon $charon_rss KiB"
}
export -f inner
bed_client_private bash -c inner
