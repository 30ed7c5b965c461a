#!/usr/bin/env bash
# Traffic counters and SA details end to end: the real daemon on the test
# bed with a PSK tunnel, torvanectl beside it. 1 MB sent over TCP to the LAN
# host must show in the counters; the algorithms must be those the gateway
# negotiated; `status --json` is one valid object with the details, and
# `status --watch --json` one object per change. Once nobody follows the
# status any more, the details are dropped rather than left to go stale.
#
#   traffic_e2e.sh HELPER TESTCLIENT TORVANECTL
set -euo pipefail
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
bed_daemon_up "$1" "$2" python3
export CTL
CTL=$(realpath "$3")

bed_make_profile tr-psk psk user=user04 "name=Traffic PSK" >/dev/null
export BED_SWANCTL

# A listener in the LAN namespace that counts what it receives.
bed_lan_exec python3 -c '
import socket, sys
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 5501)); s.listen(1)
c, _ = s.accept(); n = 0
while True:
    b = c.recv(65536)
    if not b: break
    n += len(b)
open(sys.argv[1], "w").write(str(n))
' "$W/received" &
bed_track_pid $!

inner() {
    set -u
    local passed=0 failed=0 out hp
    export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config TORVANE_HELPER_SOCKET=$S
    mkdir -p "$XDG_CONFIG_HOME"
    ctl() { "$CTL" "$@"; }
    # KEY of the first tunnel's "tunnelSA" in the JSON status on stdin.
    sa() { python3 -c 'import json,sys; print(json.load(sys.stdin)["tunnels"][0]["tunnelSA"][sys.argv[1]])' "$1"; }

    launch --trust-client "$CTL"
    connects tr-psk "Traffic PSK"

    # Nobody follows the status: the daemon reads no details.
    check "no details while nobody follows" fails grep -q '"tunnelSA"' <<<"$(T status)"

    local before
    before=$(ctl status --json)
    check "status --json is one JSON object with the details: $before" \
        python3 -c 'import json,sys; t=json.loads(sys.argv[1])["tunnels"][0]; assert t["state"]=="connected"; assert {"bytesIn","bytesOut","packetsIn","packetsOut","ikeProposal","espProposal","establishedSeconds","localAddress","remoteAddress","localTrafficSelectors","remoteTrafficSelectors"} <= t["tunnelSA"].keys()' "$before"
    check "one line" test "$(wc -l <<<"$before")" = 1

    "$CTL" status --watch --json >"$W/watch.out" 2>"$W/watch.err" &
    local watch_pid=$!
    eventually 5 test -s "$W/watch.out" || true

    python3 -c '
import socket, sys
s = socket.create_connection((sys.argv[1], 5501), timeout=10)
s.sendall(b"\0" * 1000000); s.close()' "$BED_LAN_ADDR"
    check "the LAN host received 1 MB" eventually 5 grep -qx 1000000 "$W/received"

    local after sent
    # The counters are refreshed every 2 s while the watch runs.
    sleep 2.5
    after=$(ctl status --json)
    sent=$(($(sa bytesOut <<<"$after") - $(sa bytesOut <<<"$before")))
    echo "traffic_e2e: bytes out moved by $sent, packets out by" \
        "$(($(sa packetsOut <<<"$after") - $(sa packetsOut <<<"$before"))), bytes in by" \
        "$(($(sa bytesIn <<<"$after") - $(sa bytesIn <<<"$before")))"
    check "bytes out moved by at least 1 MB ($sent)" test "$sent" -ge 1000000
    check "bytes in moved (the ACKs)" test "$(sa bytesIn <<<"$after")" -gt "$(sa bytesIn <<<"$before")"
    check "packets out moved by at least 700" \
        test $(($(sa packetsOut <<<"$after") - $(sa packetsOut <<<"$before"))) -ge 700

    # The algorithms are those the gateway lists for its end of the SA.
    local ike esp
    ike=$(sa ikeProposal <<<"$after")
    esp=$(sa espProposal <<<"$after")
    echo "traffic_e2e: IKE $ike; ESP $esp; status --json: $after"
    # The gateway's listing writes them without spaces, ESP after "ESP:".
    local gw
    gw=$(STRONGSWAN_CONF="$W/gw/strongswan.conf" "$BED_SWANCTL" --list-sas \
        --uri "unix://$W/gw/charon.vici" | tr -d ' ')
    check "IKE is the gateway's default proposal: $ike" \
        test "$ike" = "AES_CBC-256 / HMAC_SHA2_512_256 / PRF_HMAC_SHA2_512 / ECP_384"
    check "the gateway lists the same IKE algorithms" grep -qxF "${ike// /}" <<<"$gw"
    check "the gateway lists the same ESP algorithms: $esp" \
        grep -qxF "${esp// /}" <<<"$(sed -n 's/.*ESP:\(.*\)$/\1/p' <<<"$gw")"
    # IKEv2 moves to the NAT-T port after the first exchange.
    check "addresses with ports" \
        test "$(sa localAddress <<<"$after") $(sa remoteAddress <<<"$after")" = "10.10.0.2[4500] 10.10.0.1[4500]"
    check "the remote selector is the LAN" grep -q "10.200.0.0/24" <<<"$(sa remoteTrafficSelectors <<<"$after")"
    check "the local selector is the virtual IP" grep -Eq "10\.99\.0\.[0-9]+/32" <<<"$(sa localTrafficSelectors <<<"$after")"

    out=$(ctl status)
    check "status: the counters close the line: $out" \
        grep -Pq '^Traffic PSK\tconnected\t10\.99\.0\.[0-9]+\t[^\t]*\t[0-9]+\t[0-9]+\t[0-9]+\t[0-9]+$' <<<"$out"

    kill -INT "$watch_pid"
    wait "$watch_pid" || true
    check "watch: every line is one JSON object" \
        python3 -c 'import json,sys; [json.loads(l) for l in open(sys.argv[1])]' "$W/watch.out"
    check "watch: an object per change, the counters among them ($(wc -l <"$W/watch.out") lines)" \
        python3 -c '
import json, sys
seen = [json.loads(l)["tunnels"][0].get("tunnelSA", {}).get("bytesOut", -1) for l in open(sys.argv[1])]
lines = open(sys.argv[1]).read().splitlines()
assert len(lines) == len(set(lines)), "an unchanged status was printed again"
assert max(seen) - min(x for x in seen if x >= 0) >= 1000000, seen' "$W/watch.out"

    # The last follower has gone: the details go with it.
    check "details dropped once nobody follows" eventually 5 fails grep -q '"tunnelSA"' <<<"$(T status)"
    daemon_stop
    daemon_summary traffic_e2e
}
export -f inner
bed_client_private bash -c inner
