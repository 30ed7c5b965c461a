#!/usr/bin/env bash
# A daemon killed with SIGKILL cannot undo its changes; the next one must,
# except for an engaged kill switch, which fails closed: the new daemon holds
# the firewall table until the tunnel that asked for it is back or the user
# stops everything. With a tunnel that changed everything it can (routes,
# DNS through the local proxy, IPv6 off, the kill switch), the daemon is
# SIGKILLed, its charon and dnsmasq left running, and traffic keeps knocking:
# no packet may leave the client outside the tunnel, neither while no daemon
# runs nor after the new one restored the rest, nor one the client forwards
# for a "container". Stop-all then gives back the namespace exactly; a second
# round shows a reconnect taking the held table over and a stop releasing it.
#
#   client ns (daemon, charon)          gateway ns ...  (see testbed.sh)
#   +---------------------------+
#   | <p>-c 10.10.0.2 ----------+---- veth to the gateway 10.10.0.1
#   | <p>-x0 10.77.0.1/24,      |
#   |   forwards                |
#   +-------------+-------------+
#                 | veth
#   "container" (an unnamed network namespace): <p>-x1 10.77.0.2/24,
#   default via 10.77.0.1
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
bed_require_root dnsmasq nsenter
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
    local passed=0 failed=0 hp reply box x=$BED_PREFIX-x
    local id
    id=$(sed -n 's/.*"id":"\([^"]*\)".*/\1/p' "$P/everything.profile.json")
    T() { "$TC" --socket "$S" "$@"; }
    launch() {
        "$HELPER" --socket "$S" --trust-client "$TC" >>"$W/helper.out" 2>&1 &
        hp=$!
        bed_wait_for_socket "$S"
    }
    sigkill() {
        kill -KILL "$hp"
        wait "$hp" 2>/dev/null || true
        rm -f "$S"
    }
    running() { pgrep -x "$1" >/dev/null; }
    gone() { ! pgrep -x "$1" >/dev/null; }
    connects() {
        reply=$(T start "$P/everything.profile.json" "$P/everything.secrets.json")
        check "$1: the tunnel connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    }
    in_box() { nsenter --net="/proc/$box/ns/net" "$@"; }
    # Traffic that would leave outside the tunnel: the LAN host, the
    # gateway's other side, UDP to an outside address, and a ping the
    # client forwards for the container. Dropped packets fail; that is fine.
    knock() {
        ping -c 1 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
        ping -c 1 -W 1 "$BED_GW_LAN_ADDR" >/dev/null 2>&1 || true
        timeout 3 bash -c 'echo x >/dev/udp/198.51.100.1/53' 2>/dev/null || true
        in_box ping -c 1 -W 1 "$BED_GW_ADDR" >/dev/null 2>&1 || true
    }
    drops() { # drops CHAIN: the packets the kill switch's last rule dropped
        nft list chain inet torvane_killswitch "$1" 2>/dev/null |
            sed -n 's/.*counter packets \([0-9]*\) bytes [0-9]* drop/\1/p'
    }
    # The namespace without its firewall: everything but the held table.
    outside_firewall() { sed '/^--- nft/,$d' "$@"; }
    rest_restored() { [ "$(machine_snapshot | outside_firewall)" = "$(outside_firewall "$W/base")" ]; }

    # The container routed through the client, before the baseline.
    unshare --net sleep 600 &
    box=$!
    eventually 5 bash -c '[ "$(readlink /proc/$0/ns/net)" != "$(readlink /proc/self/ns/net)" ]' "$box"
    ip link add "$x"0 type veth peer name "$x"1 netns "$box"
    # IPv6 on a second link would make the order of the link-local routes
    # after the daemon's IPv6 restore depend on which link came back first.
    sysctl -qw "net.ipv6.conf.${x}0.disable_ipv6=1"
    ip addr add 10.77.0.1/24 dev "$x"0
    ip link set "$x"0 up
    in_box ip link set lo up
    in_box ip addr add 10.77.0.2/24 dev "$x"1
    in_box ip link set "$x"1 up
    in_box ip route add default via 10.77.0.1
    sysctl -qw net.ipv4.ip_forward=1
    leak_counter_add "$BED_PREFIX-c" "$BED_GW_ADDR"
    in_box ping -c 1 -W 1 "$BED_GW_ADDR" >/dev/null 2>&1 || true
    check "without a kill switch the container's packets leave the client ($(leak_count))" \
        test "$(leak_count)" -gt 0
    leak_counter_remove

    eventually 15 machine_settled || true
    machine_snapshot >"$W/base"
    launch
    connects "first round"
    check "the namespace was changed" bash -c '! machine_same_as "$0"' "$W/base"
    check "a journal lists the changes" test -s /run/torvane/journal.json

    leak_counter_add "$BED_PREFIX-c" "$BED_GW_ADDR"
    sigkill
    check "charon outlived the killed daemon" running charon
    check "dnsmasq outlived the killed daemon" running dnsmasq
    knock
    local unattended
    unattended=$(leak_count)
    check "nothing left outside the tunnel while no daemon ran ($unattended)" test "$unattended" = 0

    launch
    check "the new daemon restores from the journal" eventually 10 grep -q \
        "TorvaneHelper: the previous helper stopped without undoing its changes — restoring" \
        "$W/helper.out"
    check "it holds the kill switch" eventually 10 grep -q "TorvaneHelper: kill switch held after \
a restart: traffic stays blocked until its tunnels reconnect or Disconnect All" "$W/helper.out"
    check "the old charon is gone" eventually 10 gone charon
    check "the old dnsmasq is gone" eventually 10 gone dnsmasq
    check "routes, rules, DNS and IPv6 are restored" eventually 15 rest_restored
    knock
    knock
    check "nothing left outside the tunnel after the restore ($(leak_count))" \
        test "$(leak_count)" = 0
    check "the forward chain dropped the container's pings ($(drops forward))" \
        test "$(drops forward)" -ge 2
    echo "journal_e2e: packets out of the tunnel: $unattended while no daemon ran," \
        "$(leak_count) after the restore; held table dropped $(drops output) sent and" \
        "$(drops forward) forwarded"
    reply=$(T status)
    check "the status says it holds: $reply" grep -q '"killSwitchHolding":true' <<<"$reply"
    check "and has no tunnel" bash -c '! grep -q profileID <<<"$0"' "$reply"
    check "the journal names the held profile and its gateway" grep -q \
        "\"killSwitchProfiles\":\[{\"gateway\":\"$BED_GW_ADDR\",\"profileID\":\"$id\"}\]" \
        /run/torvane/journal.json
    leak_counter_remove
    reply=$(T stop-all)
    check "stop-all: $reply" grep -q '^reply stop-all 0' <<<"$reply"
    restored "stop-all while the kill switch holds" "$W/base"
    check "the journal is gone" test ! -e /run/torvane/journal.json
    check "the status no longer holds" bash -c '! "$0" --socket "$1" status | grep -q killSwitchHolding' "$TC" "$S"

    # Second round: the held profile reconnects and owns the table again.
    connects "second round"
    sigkill
    launch
    check "second round: held again" eventually 10 bash -c \
        '"$0" --socket "$1" status | grep -q "\"killSwitchHolding\":true"' "$TC" "$S"
    connects "second round, while held"
    check "the reconnect ends the hold" eventually 5 grep -q \
        "TorvaneHelper: kill switch hold ended: the tunnels that asked for it are back" "$W/helper.out"
    check "the status no longer holds" bash -c '! "$0" --socket "$1" status | grep -q killSwitchHolding' "$TC" "$S"
    check "ping through the tunnel" ping -c 1 -W 3 "$BED_LAN_ADDR"
    reply=$(T stop "$id")
    check "stop: $reply" grep -q '^reply stop 0 Disconnected' <<<"$reply"
    restored "a stop after the reconnect" "$W/base"
    kill -TERM "$hp"
    wait "$hp" 2>/dev/null || true
    kill "$box" 2>/dev/null || true
    if [ "$failed" -ne 0 ]; then
        echo "--- the daemon's output:" >&2
        tail -n 60 "$W/helper.out" >&2
    fi
    grep -E "TorvaneHelper: (the previous helper|restored|restore|kill switch)" "$W/helper.out" |
        sed 's/^/journal_e2e: daemon: /'
    checks_summary journal_e2e
}
export -f inner
bed_client_private bash -c inner
