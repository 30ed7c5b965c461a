#!/usr/bin/env bash
# The Linux dynamic store against a real namespace: the namespace's
# /etc/resolv.conf (from /etc/netns/<ns>/) is read, overwritten in place and
# restored byte for byte; moving the default route and rewriting the file
# produce the store's notifications.
#
#   client ns tvs-dns<pid>                   peer ns tvs-dnp<pid>
#  +-------------------------------+        +----------------------+
#  |  tvsd<pid>a 10.231.0.2/24     |--veth--|  tvsd<pid>b .0.1/24  |
#  |  tvse<pid>a 10.231.1.2/24     |--veth--|  tvse<pid>b .1.1/24  |
#  |  default via 10.231.0.1       |        |                      |
#  |  resolv.conf: 198.51.100.53   |        |                      |
#  +-------------------------------+        +----------------------+
#
# Usage: dns_store.sh <resolv_conf_store_tests binary>
set -euo pipefail

if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: needs root for network namespaces" >&2
    exit 77
fi
tests=${1:?usage: dns_store.sh TEST_BINARY}

id=$$
ns=tvs-dns$id
peer=tvs-dnp$id
if0=tvsd${id}a
if1=tvse${id}a

cleanup() {
    ip netns del "$ns" 2>/dev/null || true
    ip netns del "$peer" 2>/dev/null || true
    rm -rf "/etc/netns/$ns"
}
trap cleanup EXIT

ip netns add "$ns"
ip netns add "$peer"
ip -n "$ns" link set lo up
ip -n "$peer" link set lo up
ip -n "$ns" link add "$if0" type veth peer name "tvsd${id}b" netns "$peer"
ip -n "$ns" link add "$if1" type veth peer name "tvse${id}b" netns "$peer"
ip -n "$ns" addr add 10.231.0.2/24 dev "$if0"
ip -n "$ns" addr add 10.231.1.2/24 dev "$if1"
ip -n "$peer" addr add 10.231.0.1/24 dev "tvsd${id}b"
ip -n "$peer" addr add 10.231.1.1/24 dev "tvse${id}b"
for dev in "$if0" "$if1"; do ip -n "$ns" link set "$dev" up; done
for dev in "tvsd${id}b" "tvse${id}b"; do ip -n "$peer" link set "$dev" up; done
ip -n "$ns" route add default via 10.231.0.1 dev "$if0"

mkdir -p "/etc/netns/$ns"
printf '# namespace resolver\nnameserver 198.51.100.53\nsearch  tvs.test\noptions ndots:1' \
    >"/etc/netns/$ns/resolv.conf"
before=$(sha256sum <"/etc/netns/$ns/resolv.conf")

ip netns exec "$ns" env TORVANE_DNS_NETNS=1 TORVANE_DNS_IF0="$if0" TORVANE_DNS_IF1="$if1" \
    TORVANE_DNS_GW0=10.231.0.1 TORVANE_DNS_GW1=10.231.1.1 \
    "$tests" --gtest_filter='ResolvConfStoreNamespaceTest.*'

after=$(sha256sum <"/etc/netns/$ns/resolv.conf")
if [[ $before != "$after" ]]; then
    echo "FAIL: the namespace's resolv.conf was not restored" >&2
    exit 1
fi
echo "PASS: dynamic store in namespace $ns"
