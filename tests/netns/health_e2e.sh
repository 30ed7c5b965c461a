#!/usr/bin/env bash
# Tunnel health end to end: a tunnel whose gateway dies and comes back heals
# in place without a command (keepalive → reconnect), the kill switch lets
# nothing out in between, changes of the default route lead to one
# verification pass, and a wake signal from a stand-in logind on a private
# system bus makes the daemon verify every tunnel.
#
#   health_e2e.sh HELPER TESTCLIENT FAKE_LOGIN1
#
# As in network_e2e.sh, the daemon runs in the bed's private client context
# and asks this outer shell to act on the gateway through `outside`.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=testbed.sh
source "$here/testbed.sh"
LOGIN1=$(realpath "$3")
: "${BED_PREFIX:=tvh-$$}"
bed_daemon_up "$1" "$2" dbus-daemon

# A private system bus, and a stand-in for logind on it fed through a FIFO.
BUS=$BED_WORK/system_bus_socket
dbus-daemon --config-file="$here/../tools/private-system-bus.conf" --address="unix:path=$BUS" \
    --nofork --nopidfile >"$BED_WORK/bus.out" 2>&1 &
bed_track_pid $!
bed_wait_for_socket "$BUS"
export BUS_ADDRESS="unix:path=$BUS"
mkfifo "$BED_WORK/login1.in"
exec {login1fd}<>"$BED_WORK/login1.in"
DBUS_SYSTEM_BUS_ADDRESS=$BUS_ADDRESS "$LOGIN1" <"$BED_WORK/login1.in" >"$BED_WORK/login1.out" 2>&1 &
bed_track_pid $!
eventually 5 grep -qx ready "$BED_WORK/login1.out" || bed_fail "fake logind: $(cat "$BED_WORK/login1.out")"

# power sleep|wake: emits PrepareForSleep(true|false) and waits until sent.
power() {
    local before
    before=$(grep -c "^emitted $1$" "$BED_WORK/login1.out" || true)
    printf '%s\n' "$1" >&"$login1fd"
    eventually 5 bash -c '[ "$(grep -c "^emitted $0$" "$1")" -gt "$2" ]' "$1" "$BED_WORK/login1.out" "$before"
}
# The gateway deletes its IKE SAs (an orderly shutdown or an administrator
# would): the client's charon learns it at once and reports it over VICI.
delete_gateway_sas() {
    bed_gw_swanctl --terminate --ike bed-psk --force >/dev/null
}
# Several new default routes within a second: a second router address on
# the gateway's link to switch to and back.
switch_routers() {
    bed_client_exec ip route replace default via 10.10.0.254 dev "$p-c" &&
        bed_client_exec ip route replace default via "$BED_GW_ADDR" dev "$p-c" &&
        bed_client_exec ip route replace default via 10.10.0.254 dev "$p-c"
}
bed_gateway_exec ip addr add 10.10.0.254/24 dev "$p-g"

bed_make_profile heal psk user=user10 name=Healthy remoteTS=0.0.0.0/0 killSwitchEnabled=true \
    dnsServers="$BED_LAN_ADDR" searchDomains=heal.tvh.test keepaliveIP="$BED_LAN_ADDR" \
    keepaliveInterval=2 >/dev/null

inner() {
    set -u
    local passed=0 failed=0
    logged_count() { grep -cF -- "$1" "$W/helper.out" || true; }
    state_is() { T status | grep -q "\"state\":\"$1\""; }
    tunnel_routes() { ip route show 0.0.0.0/1 | grep -q 'dev ipsec0'; }
    dns_set() { grep -q "nameserver $BED_LAN_ADDR" /etc/resolv.conf; }

    # Without a system bus the daemon says so and runs on.
    DBUS_SYSTEM_BUS_ADDRESS=unix:path=$W/no-such-bus "$HELPER" --socket "$W/nobus.sock" \
        --trust-client "$TC" >"$W/nobus.out" 2>&1 &
    local nobus=$!
    bed_wait_for_socket "$W/nobus.sock"
    check "no bus: the warning is logged" \
        grep -q "TorvaneHelper: warning: could not register for system power events" "$W/nobus.out"
    check "no bus: the daemon answers" "$TC" --socket "$W/nobus.sock" version
    kill -TERM "$nobus"
    wait "$nobus" 2>/dev/null || true

    local hp
    DBUS_SYSTEM_BUS_ADDRESS=$BUS_ADDRESS launch
    check "registered for sleep/wake events" logged "TorvaneHelper: registered for sleep/wake events"
    T subscribe --seconds 600 >"$W/callbacks.log" 2>&1 &
    local subscriber=$!

    local reply
    connects heal "the tunnel"
    check "ping through the tunnel" ping_ok "$BED_LAN_ADDR"

    # Everything that leaves the client's link other than IKE and ESP to the
    # gateway, counted after the kill switch has had its say.
    leak_counter_add "$p-c" "$BED_GW_ADDR"
    local leaks0
    leaks0=$(leak_count)

    # --- The gateway deletes the SA: the VICI event, then a re-check 3 s
    # later, reconnects (there was no earlier attempt to cool down from).
    check "the gateway deletes its SAs" outside delete_gateway_sas
    check "the SA-down re-check reconnects" eventually 20 logged "reconnecting 'Healthy' (SA down (VICI event))"
    check "connected again after the SA-down reconnect" eventually 20 state_is connected
    check "ping after the SA-down reconnect" eventually 10 ping_ok "$BED_LAN_ADDR"
    check "nothing left the link outside the tunnel ($leaks0 -> $(leak_count))" test "$(leak_count)" = "$leaks0"

    # --- The gateway dies and comes back: eight failed keepalives later the
    # daemon reconnects in place, by itself.
    local t0=$SECONDS
    check "the gateway's charon is killed and restarted" outside bed_gateway_restart
    check "the tunnel goes reconnecting" eventually 90 state_is reconnecting
    local t1=$SECONDS
    check "…and is connected again by itself" eventually 60 state_is connected
    echo "health_e2e: reconnecting after $((t1 - t0)) s, connected again after $((SECONDS - t0)) s"
    check "the reconnect was the keepalive's" logged "reconnecting 'Healthy' (keepalive failed 8×)"
    check "keepalive failures were counted to 8" logged "keepalive ping failed for 'Healthy' (8/8)"
    check "routes through the tunnel are back" eventually 10 tunnel_routes
    check "the tunnel's DNS is back" dns_set
    check "ping through the healed tunnel" eventually 10 ping_ok "$BED_LAN_ADDR"
    check "nothing left the link outside the tunnel meanwhile ($leaks0 -> $(leak_count))" \
        test "$(leak_count)" = "$leaks0"
    check "the app saw reconnecting then connected" \
        grep -q '"state":"reconnecting"' "$W/callbacks.log"

    # --- Three new default routes within a second: one verification pass.
    check "the default route changes three times" outside switch_routers
    check "one verification pass" eventually 10 logged "network path changed — verifying 1 tunnel(s)"
    sleep 4
    check "…and only one ($(logged_count 'network path changed — verifying'))" \
        test "$(logged_count 'network path changed — verifying')" = 1
    check "the tunnel was found healthy" logged "'Healthy' healthy after path change"
    outside ip netns exec "$BED_NS_CLIENT" ip route replace default via "$BED_GW_ADDR" dev "$p-c" >/dev/null

    # --- Sleep and wake: sleep is not delayed, wake verifies every tunnel.
    check "logind announces sleep" outside power sleep
    check "logind announces wake" outside power wake
    check "the daemon verifies tunnels after wake" eventually 15 logged "system woke — verifying tunnels"
    check "the tunnel is healthy after wake" eventually 15 logged "'Healthy' healthy after wake"
    check "still connected" state_is connected

    reply=$(T stop "$(id_of heal)")
    check "the tunnel stops: $reply" grep -q '^reply stop 0 Disconnected' <<<"$reply"
    check "no kill switch table after stop" \
        eventually 5 bash -c '! nft list table inet torvane_killswitch >/dev/null 2>&1'
    leak_counter_remove
    kill "$subscriber" 2>/dev/null || true
    daemon_stop
    grep -E "keepalive ping failed|reconnecting '|network path|healthy after|woke|sleep/wake" \
        "$W/helper.out" | sed 's/^/health_e2e: daemon: /'
    daemon_summary health_e2e
}
export -f inner

bed_private_with_outside inner
