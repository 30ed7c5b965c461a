#!/usr/bin/env bash
# Runs the IPv6 leak guard against the real system inside a network
# namespace of this test's own: the Ipv6GuardInNamespaceTest network tests
# run in it, with the namespace's own IPv6 sysctls in every mode. (The DNS
# proxy with the real dnsmasq is tested on the full bed, network_e2e.sh.)
#
#   $BED_NS_CLIENT
#   +------------------------------------------------------------------+
#   | tvp-a0 <--veth--> tvp-a1   Automatic / Automatic                 |
#   | tvp-l0 <--veth--> tvp-l1   LinkLocal / Off                       |
#   | tvp-d0 <--veth--> tvp-d1   tvp-d0 down (a disabled service)      |
#   +------------------------------------------------------------------+
#
# Nothing leaves the namespace.
#
# Usage: ipv6_guard_netns.sh NETWORK_TESTS
set -uo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
tests_bin=$1
bed_require
if [ ! -d /proc/sys/net/ipv6 ]; then
    echo "SKIP: needs IPv6"
    exit 77
fi
trap bed_down EXIT
bed_ns_up || exit 1
ns=$BED_NS_CLIENT
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

bed_client_exec env TORVANE_TEST_NETNS="$ns" \
    "$tests_bin" --gtest_filter='Ipv6GuardInNamespaceTest.*'
rc=$?

after=$(snapshot)
if [ "$before" != "$after" ]; then
    echo "FAIL: IPv6 settings not restored"
    diff <(echo "$before") <(echo "$after")
    rc=1
fi
exit $rc
