#!/usr/bin/env bash
# The Linux dynamic store against a real namespace: the namespace's
# /etc/resolv.conf (from /etc/netns/<ns>/) is read, overwritten in place and
# restored byte for byte; moving the default route and rewriting the file
# produce the store's notifications.
#
#   client ns $BED_NS_CLIENT                 peer ns $BED_NS_GW
#  +-------------------------------+        +----------------------+
#  |  <p>-c0 10.10.0.2/24          |--veth--|  <p>-g0 10.10.0.1/24 |
#  |  <p>-c1 10.10.1.2/24          |--veth--|  <p>-g1 10.10.1.1/24 |
#  |  default via 10.10.0.1        |        |                      |
#  |  resolv.conf: 198.51.100.53   |        |                      |
#  +-------------------------------+        +----------------------+
#
# Usage: dns_store.sh <resolv_conf_store_tests binary>
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
tests=${1:?usage: dns_store.sh TEST_BINARY}
bed_require
trap bed_down EXIT
bed_ns_up 2

resolv=/etc/netns/$BED_NS_CLIENT/resolv.conf
# No final newline: the restore must give back exactly these bytes.
printf '# namespace resolver\nnameserver 198.51.100.53\nsearch  tvs.test\noptions ndots:1' >"$resolv"
before=$(sha256sum <"$resolv")

bed_client_exec env TORVANE_DNS_NETNS=1 TORVANE_DNS_IF0="$BED_PREFIX-c0" \
    TORVANE_DNS_IF1="$BED_PREFIX-c1" TORVANE_DNS_GW0=10.10.0.1 TORVANE_DNS_GW1=10.10.1.1 \
    "$tests" --gtest_filter='ResolvConfStoreNamespaceTest.*'

if [[ $before != "$(sha256sum <"$resolv")" ]]; then
    echo "FAIL: the namespace's resolv.conf was not restored" >&2
    exit 1
fi
echo "PASS: dynamic store in namespace $BED_NS_CLIENT"
