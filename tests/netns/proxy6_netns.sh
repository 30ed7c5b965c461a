#!/usr/bin/env bash
# Runs the DNS proxy and the IPv6 leak guard against the real system inside
# a network namespace of this test's own: the DnsProxyInNamespaceTest and
# Ipv6GuardInNamespaceTest network tests run in it, with the real IPv6
# sysctls and the real dnsmasq. The namespace's resolv.conf points at its own
# 127.0.0.1, where the proxy listens; the IPv6 sysctls touched are the
# namespace's own.
#
#   $BED_NS_CLIENT                               resolv.conf: 127.0.0.1
#   +------------------------------------------------------------------+
#   | lo 127.0.0.1 (dnsmasq :53)                                       |
#   | tvp-a0 <--veth--> tvp-a1   Automatic / Automatic                 |
#   | tvp-l0 <--veth--> tvp-l1   LinkLocal / Off                       |
#   | tvp-d0 <--veth--> tvp-d1   tvp-d0 down (a disabled service)      |
#   +------------------------------------------------------------------+
#
# Nothing leaves the namespace: the only traffic is DNS on its loopback.
#
# Usage: proxy6_netns.sh NETWORK_TESTS HELPER_DIR
set -uo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
tests_bin=$1
helper_dir=$2
bed_require
if [ ! -d /proc/sys/net/ipv6 ] || [ ! -x "$helper_dir/Resources/dnsmasq/sbin/dnsmasq" ]; then
    echo "SKIP: needs IPv6 and the bundled dnsmasq in $helper_dir"
    exit 77
fi
trap bed_down EXIT
bed_ns_up || exit 1
ns=$BED_NS_CLIENT
echo "nameserver 127.0.0.1" >"/etc/netns/$ns/resolv.conf"
for pair in a l d; do
    ip -n "$ns" link add "tvp-${pair}0" type veth peer name "tvp-${pair}1"
done
for dev in tvp-a0 tvp-a1 tvp-l0 tvp-l1 tvp-d1; do
    ip -n "$ns" link set "$dev" up
done
conf=/proc/sys/net/ipv6/conf
bed_client_exec sh -c "echo 0 >$conf/tvp-l0/autoconf; echo 0 >$conf/tvp-l0/accept_ra;
                       echo 1 >$conf/tvp-l1/disable_ipv6"

snapshot() {
    bed_client_exec sh -c "for d in $conf/tvp-*; do echo \$d \$(cat \$d/disable_ipv6 \$d/autoconf \$d/accept_ra); done"
}
before=$(snapshot)

bed_client_exec env TORVANE_TEST_NETNS="$ns" TORVANE_TEST_HELPER_DIR="$helper_dir" \
    "$tests_bin" --gtest_filter='DnsProxyInNamespaceTest.*:Ipv6GuardInNamespaceTest.*'
rc=$?

after=$(snapshot)
if [ "$before" != "$after" ]; then
    echo "FAIL: IPv6 settings not restored"
    diff <(echo "$before") <(echo "$after")
    rc=1
fi
exit $rc
