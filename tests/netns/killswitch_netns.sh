#!/usr/bin/env bash
# Applies the kill switch's policy through the daemon's own nftables backend
# (torvane-firewall-probe) in a client namespace and checks, by sending
# packets and reading the rules' counters, what it lets out: the tunnel
# device, IKE/ESP to the gateway, DHCP and loopback, and nothing else; what
# the client routes for a "container" goes only into the tunnel device. A
# policy that cannot be applied changes nothing, and a release leaves the
# namespace's ruleset as it was, our table gone and the others untouched.
#
#   client $BED_NS_CLIENT                     gateway $BED_NS_GW
#   +------------------------------+          +-------------------------+
#   | <p>-c0  10.10.0.2/24  -------+--veth----+- <p>-g0 10.10.0.1/24     |
#   |                              |          |         10.10.0.9/24     |
#   | <p>-t (TUN) 10.99.0.1/32     |          |  (.1 is the VPN gateway, |
#   |   10.200.0.0/24 via <p>-t    |          |   .9 any other host)     |
#   | table inet tvk_other         |          +-------------------------+
#   | <p>-x0 10.48.0.1/24, forwards|
#   +--------------+---------------+
#                  | veth
#   container $BED_NS_LAN: <p>-x1 10.48.0.2/24, default via .1
#
# Usage: killswitch_netns.sh FIREWALL_PROBE
set -uo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
probe=$1
bed_require nft
[ -c /dev/net/tun ] || { echo "SKIP: needs /dev/net/tun"; exit 77; }
: "${BED_PREFIX:=tvk-$$}"
trap bed_down EXIT
bed_ns_up 1 || exit 1
p=$BED_PREFIX container=$BED_NS_LAN work=$BED_WORK tun=$BED_PREFIX-t

in_client() { bed_client_exec "$@"; }
fw() { in_client "$probe" "$@" >"$work/out" 2>&1; }
good=(apply -i "$tun" -g 10.10.0.1)
# A gateway name that does not resolve fails the whole policy.
bad=(apply -i "$tun" -g 10.10.0.1 -g nowhere.invalid)

# udp_to ADDRESS PORT: one datagram; fails when the firewall drops it locally
# (EPERM), as a connectionless send does not wait for an answer.
udp_to() { in_client timeout 5 bash -c "echo x >/dev/udp/$1/$2" 2>/dev/null; }
ping_to() { in_client ping -n -c 1 -W 1 "$1" >/dev/null 2>&1; }
# esp_to ADDRESS: one raw ESP packet.
esp_to() {
    in_client python3 -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_RAW, 50)
s.sendto(b"\0" * 16, (sys.argv[1], 0))' "$1" 2>/dev/null
}
# dhcp_from PORT: a datagram from PORT to the DHCP server port of .9.
dhcp_from() {
    in_client python3 -c '
import socket, sys
s = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
s.bind(("10.10.0.2", int(sys.argv[1])))
s.sendto(b"x", ("10.10.0.9", 67))' "$1" 2>/dev/null
}
# counter PATTERN [CHAIN]: the packet count of the rule whose text contains
# PATTERN, in the output chain unless CHAIN is given.
counter() {
    in_client nft list chain inet torvane_killswitch "${2:-output}" |
        grep -F -- "$1" | sed -n 's/.*counter packets \([0-9]*\) .*/\1/p' | head -n 1
}
# from_container ADDRESS: one ping the client has to forward.
from_container() { ip netns exec "$container" ping -n -c 1 -W 1 "$1" >/dev/null 2>&1; }
positive() { [ "${1:-0}" -gt 0 ]; }

bed_add_ns "$container" || exit 1
ip -n "$BED_NS_GW" addr add 10.10.0.9/24 dev "$p-g0"
ip -n "$BED_NS_CLIENT" tuntap add mode tun name "$tun"
ip -n "$BED_NS_CLIENT" addr add 10.99.0.1/32 dev "$tun"
ip -n "$BED_NS_CLIENT" link set "$tun" up
ip -n "$BED_NS_CLIENT" route add 10.200.0.0/24 dev "$tun"
ip -n "$BED_NS_CLIENT" link add "$p-x0" type veth peer name "$p-x1" netns "$container"
ip -n "$BED_NS_CLIENT" addr add 10.48.0.1/24 dev "$p-x0"
ip -n "$BED_NS_CLIENT" link set "$p-x0" up
ip -n "$container" addr add 10.48.0.2/24 dev "$p-x1"
ip -n "$container" link set "$p-x1" up
ip -n "$container" route add default via 10.48.0.1
in_client sysctl -qw net.ipv4.ip_forward=1
bed_gateway_exec ip route add 10.48.0.0/24 via 10.10.0.2
# Someone else's table, which the kill switch must leave alone.
in_client nft add table inet tvk_other
in_client nft add chain inet tvk_other out '{ type filter hook output priority 10; }'
in_client nft add rule inet tvk_other out counter

have_python=0
if in_client python3 -c '' 2>/dev/null; then
    have_python=1
fi

check "gateway reachable before" ping_to 10.10.0.1
check "the container reaches the other host before" from_container 10.10.0.9
before=$(in_client nft -s list ruleset)

# A bad policy on a clean namespace creates nothing.
check "bad policy refused" fails fw "${bad[@]}"
check "refusal names the gateway" grep -q 'cannot resolve nowhere.invalid' "$work/out"
check "bad interface refused" fails fw apply -i 'tvk" accept' -g 10.10.0.1
check "bad policies left the ruleset alone" [ "$(in_client nft -s list ruleset)" = "$before" ]

check "policy applies" fw "${good[@]}"
check "the table's handle comes back" grep -qE '^handle [0-9]+$' "$work/out"
check "loopback passes" ping_to 127.0.0.1
check "tunnel device passes" udp_to 10.200.0.1 53
check "tunnel rule counted it" positive "$(counter "oifname \"$tun\"")"
check "IKE to the gateway passes" udp_to 10.10.0.1 500
check "NAT-T to the gateway passes" udp_to 10.10.0.1 4500
check "IKE rule counted them" [ "$(counter 'udp dport { 500, 4500 }')" = 2 ]
check "other UDP to the gateway dropped" fails udp_to 10.10.0.1 53
check "IKE to another host dropped" fails udp_to 10.10.0.9 500
check "ping to the gateway dropped" fails ping_to 10.10.0.1
check "drop rule counted them" positive "$(counter 'counter packets' | tail -n 1)"
check "block rule is last and counts" positive "$(in_client nft list chain inet torvane_killswitch output | grep -E 'counter packets [0-9]+ bytes [0-9]+ drop' | sed -n 's/.*packets \([0-9]*\) .*/\1/p')"
if [ $have_python = 1 ]; then
    check "ESP to the gateway passes" esp_to 10.10.0.1
    check "ESP rule counted it" [ "$(counter 'meta l4proto esp')" = 1 ]
    check "ESP to another host dropped" fails esp_to 10.10.0.9
    check "DHCP client to server passes" dhcp_from 68
    check "other source port to 67 dropped" fails dhcp_from 69
else
    echo "NOTE: no python3 in the namespace; ESP and DHCP sends not checked"
fi

# Forwarded: into the tunnel device only; the other host and even IKE to the
# gateway are out of reach for the container.
check "the container cannot reach the other host" fails from_container 10.10.0.9
check "nor the gateway" fails from_container 10.10.0.1
check "the forward drop rule counted both" [ "$(in_client nft list chain inet torvane_killswitch forward | sed -n 's/.*counter packets \([0-9]*\) bytes [0-9]* drop/\1/p')" = 2 ]
from_container 10.200.0.1 || true
check "into the tunnel device passes" [ "$(counter "oifname \"$tun\"" forward)" = 1 ]

# A refused reapply keeps the applied table exactly, counters aside.
loaded=$(in_client nft -s list ruleset)
first=$(cat "$work/out")
check "bad reapply refused" fails fw "${bad[@]}"
check "bad reapply changed nothing" [ "$(in_client nft -s list ruleset)" = "$loaded" ]
check "reapply replaces the table" fw "${good[@]}"
check "a new table, a new handle" [ "$(cat "$work/out")" != "$first" ]
check "one table, one chain" [ "$(in_client nft list ruleset | grep -c 'chain output')" = 1 ]

check "release" fw release
check "ruleset as before" [ "$(in_client nft -s list ruleset)" = "$before" ]
check "gateway reachable after" ping_to 10.10.0.1
check "the container reaches the other host after" from_container 10.10.0.9
check "release without our table" fw release

checks_summary killswitch_netns
