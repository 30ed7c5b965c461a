#!/usr/bin/env bash
# Runs the real networksetup program inside a network namespace of this
# test's own: the IPv6 sysctls it reads and writes are per namespace, so the
# machine's own devices are never touched.
#
#   tvp-s<pid>
#   +------------------------------------------+
#   | lo                                       |
#   | tvp-a0 <--veth--> tvp-a1   (both up)     |
#   | tvp-d0 <--veth--> tvp-d1   (tvp-d0 down) |
#   +------------------------------------------+
#
# No traffic is sent at all.
#
# Usage: networksetup_netns_test.sh NETWORKSETUP
set -uo pipefail

tool=$1

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root to create network namespaces"
    exit 77
fi
if ! command -v ip >/dev/null || [ ! -d /proc/sys/net/ipv6 ]; then
    echo "SKIP: needs iproute2 and IPv6"
    exit 77
fi

ns=tvp-s$$
cleanup() { ip netns del "$ns" 2>/dev/null; }
trap cleanup EXIT

# shellcheck source=../../../../netns/checks.sh
source "$(dirname "$0")/../../../../netns/checks.sh"
in_ns() { ip netns exec "$ns" "$@"; }
sysctls() { # sysctls DEV -> "disable autoconf accept_ra"
    local d=/proc/sys/net/ipv6/conf/$1
    in_ns cat "$d/disable_ipv6" "$d/autoconf" "$d/accept_ra" | tr '\n' ' ' | sed 's/ $//'
}
mode() { in_ns "$tool" -getinfo "$1" | sed -n 's/^IPv6: //p'; }

ip netns add "$ns" || exit 1
ip -n "$ns" link set lo up
ip -n "$ns" link add tvp-a0 type veth peer name tvp-a1
ip -n "$ns" link add tvp-d0 type veth peer name tvp-d1
ip -n "$ns" link set tvp-a0 up
ip -n "$ns" link set tvp-a1 up
ip -n "$ns" link set tvp-d1 up

# The listing: devices in index order, the down one marked, lo left out.
expected="An asterisk (*) denotes that a network service is disabled.

(1) tvp-a1
(Hardware Port: tvp-a1, Device: tvp-a1)

(2) tvp-a0
(Hardware Port: tvp-a0, Device: tvp-a0)

(3) tvp-d1
(Hardware Port: tvp-d1, Device: tvp-d1)

(*) tvp-d0
(Hardware Port: tvp-d0, Device: tvp-d0)"
order=$(in_ns "$tool" -listnetworkserviceorder)
# veth peers get their indexes in creation order of the kernel; compare
# against the order `ip link` reports instead of assuming it.
expected_names=$(in_ns ip -o link show | awk -F': ' '$2 != "lo" {sub(/@.*/, "", $2); print $2}')
listed_names=$(printf '%s\n' "$order" | sed -n 's/^([0-9*]*) //p')
check "services in index order" [ "$listed_names" = "$expected_names" ]
check "header line" [ "$(printf '%s\n' "$order" | head -1)" = "$(printf '%s\n' "$expected" | head -1)" ]
check "down device marked disabled" grep -qx '(\*) tvp-d0' <<<"$order"
check "up device numbered" grep -qE '^\([0-9]+\) tvp-a0$' <<<"$order"
check "port line follows" grep -qx '(Hardware Port: tvp-a0, Device: tvp-a0)' <<<"$order"
check "loopback not a service" bash -c "! grep -q ' lo$' <<<\"\$1\"" _ "$order"

# Modes read from and written to the sysctls.
check "fresh device is Automatic" [ "$(mode tvp-a0)" = "Automatic" ]
in_ns "$tool" -setv6off tvp-a0
check "setv6off exit" [ $? -eq 0 ]
check "setv6off sysctl" [ "$(sysctls tvp-a0)" = "1 1 1" ]
check "reads Off" [ "$(mode tvp-a0)" = "Off" ]
check "other device untouched" [ "$(sysctls tvp-a1)" = "0 1 1" ]
in_ns "$tool" -setv6LinkLocal tvp-a0
check "setv6LinkLocal sysctl" [ "$(sysctls tvp-a0)" = "0 0 0" ]
check "reads LinkLocal" [ "$(mode tvp-a0)" = "LinkLocal" ]
in_ns "$tool" -setv6automatic tvp-a0
check "setv6automatic sysctl" [ "$(sysctls tvp-a0)" = "0 1 1" ]
check "reads Automatic" [ "$(mode tvp-a0)" = "Automatic" ]
check "down device has a mode too" [ "$(mode tvp-d0)" = "Automatic" ]

# Names that are not services never reach a /proc/sys path.
for bad in lo all default ../all tvp-none; do
    out=$(in_ns "$tool" -setv6off "$bad" 2>&1)
    rc=$?
    check "refuses $bad" [ "$rc" -eq 1 ]
    check "refusal message for $bad" grep -q "is not a recognized network service" <<<"$out"
done
check "all untouched" [ "$(in_ns cat /proc/sys/net/ipv6/conf/all/disable_ipv6)" = "0" ]

# No manual DNS layer: a clean failure that changes nothing.
out=$(in_ns "$tool" -setdnsservers tvp-a0 10.0.0.53 2>&1)
check "setdnsservers fails" [ $? -eq 1 ]
check "setdnsservers says why" grep -q "manual DNS settings are not supported" <<<"$out"
in_ns "$tool" -setsearchdomains tvp-a0 empty 2>/dev/null
check "setsearchdomains fails" [ $? -eq 1 ]
in_ns "$tool" -bogus 2>/dev/null
check "bad arguments exit 2" [ $? -eq 2 ]

checks_summary networksetup_netns
