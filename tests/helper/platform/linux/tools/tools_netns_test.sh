#!/usr/bin/env bash
# Runs the real route and netstat programs against the kernel, inside two
# network namespaces of this test's own, and checks each change against
# `ip route` in the same namespace.
#
#   tvb-c<pid> (client)                        tvb-p<pid> (peer)
#   +------------------------------+          +--------------------+
#   | tvb-v0  10.31.0.2/24  -------+--veth----+- tvb-v1 10.31.0.1/24 |
#   | default via 10.31.0.1        |          +--------------------+
#   | tvb-tun0 (TUN) 10.99.0.1/32  |  <- the tunnel's virtual IP, no host route
#   | lo up                        |
#   +------------------------------+
#
# Nothing leaves the namespaces: the only traffic is the resolver's attempt
# on the client's own loopback, where nothing listens.
#
# Usage: tools_netns_test.sh ROUTE NETSTAT
set -uo pipefail

route_bin=$1
netstat_bin=$2

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root to create network namespaces"
    exit 77
fi
if ! command -v ip >/dev/null || [ ! -c /dev/net/tun ]; then
    echo "SKIP: needs iproute2 and /dev/net/tun"
    exit 77
fi

client=tvb-c$$
peer=tvb-p$$
cleanup() {
    ip netns del "$client" 2>/dev/null
    ip netns del "$peer" 2>/dev/null
    rm -rf "/etc/netns/$client"
}
trap cleanup EXIT

# shellcheck source=../../../../netns/checks.sh
source "$(dirname "$0")/../../../../netns/checks.sh"

in_client() { ip netns exec "$client" "$@"; }
# route/netstat in the client namespace; output in $out, errors in $err,
# status in $rc.
run() {
    local program=$1
    shift
    out=$(in_client "$program" "$@" 2>/tmp/tvb-tools-err.$$)
    rc=$?
    err=$(cat /tmp/tvb-tools-err.$$)
    rm -f /tmp/tvb-tools-err.$$
}
route() { run "$route_bin" "$@"; }
netstat_table() { run "$netstat_bin" -rn -f inet; }
# The value after "label:" as the daemon reads it from `route get`.
field() { printf '%s\n' "$out" | sed -n "s/^[[:space:]]*$1:[[:space:]]*//p" | head -n 1; }
kernel_route() { in_client ip -4 route show table main "$@"; }
# The netstat row for a destination, as "gateway flags interface".
netstat_row() { printf '%s\n' "$out" | awk -v d="$1" '$1 == d { print $2, $3, $4; exit }'; }

set -e
ip netns add "$client"
ip netns add "$peer"
ip -n "$client" link set lo up
ip -n "$client" link add tvb-v0 type veth peer name tvb-v1 netns "$peer"
ip -n "$client" addr add 10.31.0.2/24 dev tvb-v0
ip -n "$client" link set tvb-v0 up
ip -n "$peer" addr add 10.31.0.1/24 dev tvb-v1
ip -n "$peer" link set tvb-v1 up
ip -n "$client" route add default via 10.31.0.1
ip -n "$client" tuntap add dev tvb-tun0 mode tun
ip -n "$client" link set tvb-tun0 up
ip -n "$client" addr add 10.99.0.1/32 dev tvb-tun0
# The client's own /etc/hosts and resolv.conf (ip netns exec mounts them).
mkdir -p "/etc/netns/$client"
printf '127.0.0.1 localhost\n192.0.2.77 tvb-gw.test\n' >"/etc/netns/$client/hosts"
printf 'nameserver 127.0.0.1\noptions timeout:1 attempts:1\n' >"/etc/netns/$client/resolv.conf"
tun_index=$(in_client cat /sys/class/net/tvb-tun0/ifindex)
set +e

# --- route get ---------------------------------------------------------------
route get 0.0.0.0
check "get 0.0.0.0 succeeds" test "$rc" -eq 0
check "get 0.0.0.0 names the default gateway" test "$(field gateway)" = 10.31.0.1
check "get 0.0.0.0 names the default interface" test "$(field interface)" = tvb-v0

route get 10.99.0.1
check "get VIP succeeds" test "$rc" -eq 0
check "get VIP reports the tunnel, not lo" test "$(field interface)" = tvb-tun0
check "get VIP has no gateway line" test -z "$(field gateway)"

route get 10.31.0.1
check "get of a neighbour reports its device" test "$(field interface)" = tvb-v0

# --- network routes via the virtual IP and via the interface -------------------
route -n add -net 10.50.0.0/16 10.99.0.1
check "add via VIP succeeds" test "$rc" -eq 0
check "add via VIP installs an on-device route with the VIP as source" \
    grep -q "dev tvb-tun0 proto 116 scope link src 10.99.0.1" <<<"$(kernel_route 10.50.0.0/16)"

route -n add -net 10.50.0.0/16 10.99.0.1
check "re-adding an existing route fails" test "$rc" -eq 1
check "re-adding says the route exists" grep -q "File exists" <<<"$err"
check "re-adding leaves one route" test "$(kernel_route 10.50.0.0/16 | wc -l)" -eq 1

route -n add -net 10.51.0.0/16 -interface tvb-tun0
check "add -interface succeeds" test "$rc" -eq 0
check "add -interface installs a route on the device" \
    grep -q "^10.51.0.0/16 dev tvb-tun0 " <<<"$(kernel_route 10.51.0.0/16)"

route -n add -net 10.52.1.1 10.99.0.1
check "a bare address is a host route" grep -q "^10.52.1.1 dev tvb-tun0 " <<<"$(kernel_route 10.52.1.1)"

route -n add -net 10.53.7.7/16 10.31.0.1
check "add via a neighbour succeeds" test "$rc" -eq 0
check "host bits are cleared and the neighbour is the gateway" \
    grep -q "^10.53.0.0/16 via 10.31.0.1 dev tvb-v0" <<<"$(kernel_route 10.53.0.0/16)"

route -n add -net 10.54.0.0/16 -interface tvb-nosuch
check "add on a missing device fails" test "$rc" -eq 1
route -n add -net 10.54.0.0/16 10.77.0.1
check "add via an unreachable gateway fails" test "$rc" -eq 1
check "failed adds change nothing" test -z "$(kernel_route 10.54.0.0/16)"

route -n add -net 10.0.0.0/8,10.2.0.0/16 10.99.0.1
check "a list of networks is a usage error" test "$rc" -eq 2

# --- full tunnel: the halves hide the default route from lookups only ---------
route -n add -net 0.0.0.0/1 10.99.0.1
route -n add -net 128.0.0.0/1 10.99.0.1
route get 198.51.100.1
check "with the halves a lookup goes to the tunnel" test "$(field interface)" = tvb-tun0
route get 0.0.0.0
check "with the halves get 0.0.0.0 still reports the physical gateway" \
    test "$(field gateway)" = 10.31.0.1

# --- host routes, by address and by name --------------------------------------
route add -host 192.0.2.10 10.31.0.1
check "host add by address succeeds" test "$rc" -eq 0
check "host add by address installs a /32" \
    grep -q "^192.0.2.10 via 10.31.0.1 dev tvb-v0" <<<"$(kernel_route 192.0.2.10)"
route add -host tvb-gw.test 10.31.0.1
check "host add by name succeeds" test "$rc" -eq 0
check "host add by name installs the resolved /32" \
    grep -q "^192.0.2.77 via 10.31.0.1 dev tvb-v0" <<<"$(kernel_route 192.0.2.77)"
route add -host tvb-nosuch.invalid 10.31.0.1
check "an unresolvable host fails" test "$rc" -eq 1
check "an unresolvable host is named in the error" grep -q "tvb-nosuch.invalid" <<<"$err"

# --- netstat -------------------------------------------------------------------
netstat_table
first=$out
check "netstat succeeds" test "$rc" -eq 0
check "netstat shows the default route" test "$(netstat_row default)" = "10.31.0.1 UGS tvb-v0"
check "netstat shows a route on the tunnel" \
    test "$(netstat_row 10.50.0.0/16)" = "link#$tun_index US tvb-tun0"
check "netstat shows a host route" test "$(netstat_row 192.0.2.10)" = "10.31.0.1 UGHS tvb-v0"
check "netstat shows the connected network" test "$(netstat_row 10.31.0.0/24 | cut -d' ' -f2-)" \
    = "U tvb-v0"
check "netstat marks the VIP as local" test "$(netstat_row 10.99.0.1)" = "link#$tun_index UHL tvb-tun0"
netstat_table
check "netstat output is deterministic" test "$out" = "$first"
# Every non-local row is a main-table route, and every main-table route is shown.
shown=$(printf '%s\n' "$out" | awk 'NR > 4 && $3 !~ /L/ { print $1 }' | sort)
kernel=$(kernel_route | awk '{ print ($1 == "default" ? "default" : $1) }' | sort)
check "netstat lists exactly the main table" test "$shown" = "$kernel"

# --- deletes --------------------------------------------------------------------
route -n delete -net 10.50.0.0/16
check "delete succeeds" test "$rc" -eq 0
check "delete removes the route" test -z "$(kernel_route 10.50.0.0/16)"
route -n delete -net 10.50.0.0/16
check "deleting a missing route fails" test "$rc" -eq 1
check "deleting a missing route says so" grep -q "not in table" <<<"$err"

# A route someone else installed is never touched, not even when the daemon
# force-deletes the half-default routes.
ip -n "$client" route add 10.60.0.0/16 via 10.31.0.1
route -n delete -net 10.60.0.0/16
check "a foreign route is not deleted" test -n "$(kernel_route 10.60.0.0/16)"
route -n delete -net 10.31.0.0/24
check "the connected route is not deleted" test -n "$(kernel_route 10.31.0.0/24)"

route -n delete -net 0.0.0.0/1
route -n delete -net 128.0.0.0/1
check "the half-default routes are gone" test -z "$(kernel_route 0.0.0.0/1)$(kernel_route 128.0.0.0/1)"
route delete -host tvb-gw.test
check "host delete by name removes the route" test -z "$(kernel_route 192.0.2.77)"
route delete -host 192.0.2.10
check "host delete by address removes the route" test -z "$(kernel_route 192.0.2.10)"

# --- no default route ------------------------------------------------------------
ip -n "$client" route del default
route get 0.0.0.0
check "get 0.0.0.0 without a default route fails" test "$rc" -eq 1
check "get 0.0.0.0 without a default route prints no gateway" test -z "$(field gateway)"
check "get 0.0.0.0 without a default route explains" test -n "$err"

# --- bad arguments ---------------------------------------------------------------
route frobnicate
check "route usage error exits 2" test "$rc" -eq 2
check "route usage error prints the usage" grep -q "^usage: route" <<<"$err"
run "$netstat_bin" -rn -f inet6
check "netstat usage error exits 2" test "$rc" -eq 2

checks_summary tools_netns
