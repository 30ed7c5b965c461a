#!/usr/bin/env bash
# The resolved backend of the dynamic store against a real systemd-resolved,
# run privately inside a network namespace: its own /run (tmpfs), its own
# system bus, and its service user added to private copies of passwd and
# group. The host's resolver, bus and /run are never touched.
#
#   client ns tvr-cl<pid>                     peer ns tvr-pe<pid>
#  +--------------------------------+        +------------------------------+
#  |  tvr<pid>a 10.232.0.2/24       |--veth--|  tvr<pid>b .0.1/24 dnsmasq A |
#  |  tvr<pid>c 10.232.1.2/24       |--veth--|  tvr<pid>d .1.1/24 dnsmasq B |
#  |  default via 10.232.0.1        |        |  (x.test: A 192.0.2.1,       |
#  |  resolv.conf: 10.232.1.1       |        |           B 192.0.2.2)       |
#  |  dbus-daemon, systemd-resolved |        |                              |
#  +--------------------------------+        +------------------------------+
#
# Usage: resolved_store.sh <resolved_store_tests binary>
# The resolved program: $TORVANE_RESOLVED_BIN, else the installed one. The
# package is not installed by setup-deps.sh: its postinst turns the host's
# /etc/resolv.conf into a link to resolved's stub and starts the service.
# Unpacking it is harmless: scripts/unpack-resolved.sh does (the test command
# runs it), into the last of the places looked at below.
set -euo pipefail

if [[ $(id -u) -ne 0 ]]; then
    echo "SKIP: needs root for network namespaces" >&2
    exit 77
fi
tests=${1:?usage: resolved_store.sh TEST_BINARY}
resolved=${TORVANE_RESOLVED_BIN:-}
for candidate in /lib/systemd/systemd-resolved /usr/lib/systemd/systemd-resolved \
    /var/cache/torvane/systemd-resolved/lib/systemd/systemd-resolved; do
    [[ -z $resolved && -x $candidate ]] && resolved=$candidate
done
if [[ -z $resolved || ! -x $resolved ]]; then
    echo "SKIP: systemd-resolved is not available (set TORVANE_RESOLVED_BIN)" >&2
    exit 77
fi
if ! command -v dbus-daemon >/dev/null || ! command -v busctl >/dev/null ||
    ! command -v dnsmasq >/dev/null; then
    echo "SKIP: dbus-daemon, busctl and dnsmasq are needed" >&2
    exit 77
fi

id=$$
ns=tvr-cl$id
peer=tvr-pe$id
link=tvr${id}a
other=tvr${id}c
work=$(mktemp -d /tmp/tvr-resolved.XXXXXX)
chmod 755 "$work" # resolved drops to its own user and must reach the bus socket

dnsmasqs=()
cleanup() {
    for pid in "${dnsmasqs[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    ip netns del "$ns" 2>/dev/null || true
    ip netns del "$peer" 2>/dev/null || true
    rm -rf "$work" "/etc/netns/$ns"
}
trap cleanup EXIT

ip netns add "$ns"
ip netns add "$peer"
ip -n "$ns" link set lo up
ip -n "$ns" link add "$link" type veth peer name "tvr${id}b" netns "$peer"
ip -n "$ns" link add "$other" type veth peer name "tvr${id}d" netns "$peer"
ip -n "$ns" addr add 10.232.0.2/24 dev "$link"
ip -n "$ns" addr add 10.232.1.2/24 dev "$other"
ip -n "$peer" addr add 10.232.0.1/24 dev "tvr${id}b"
ip -n "$peer" addr add 10.232.1.1/24 dev "tvr${id}d"
for dev in "$link" "$other"; do ip -n "$ns" link set "$dev" up; done
for dev in "tvr${id}b" "tvr${id}d"; do ip -n "$peer" link set "$dev" up; done
ip -n "$ns" route add default via 10.232.0.1 dev "$link"
# resolved takes a foreign resolv.conf's servers as its global ones.
mkdir -p "/etc/netns/$ns"
echo "nameserver 10.232.1.1" >"/etc/netns/$ns/resolv.conf"
for side in 0.1/192.0.2.1 1.1/192.0.2.2; do
    ip netns exec "$peer" dnsmasq --no-daemon --no-resolv --no-hosts --bind-interfaces \
        --listen-address="10.232.${side%/*}" --address="/x.test/${side#*/}" \
        >"$work/dnsmasq-${side%/*}.out" 2>&1 &
    dnsmasqs+=($!)
done

cp "$(dirname "$0")/../tools/private-system-bus.conf" "$work/bus.conf"
cp /etc/passwd "$work/passwd"
cp /etc/group "$work/group"
if ! getent passwd systemd-resolve >/dev/null; then
    echo 'systemd-resolve:x:64990:64990::/:/usr/sbin/nologin' >>"$work/passwd"
    echo 'systemd-resolve:x:64990:' >>"$work/group"
fi

# Everything below runs in the namespace with a private mount table; the
# daemons it starts are ended by PID before it returns.
cat >"$work/inner.sh" <<'INNER'
set -euo pipefail
work=$1 resolved=$2 tests=$3 link=$4 other=$5
mount -t tmpfs tmpfs /run
mount --bind "$work/passwd" /etc/passwd
mount --bind "$work/group" /etc/group
mkdir -p /run/systemd/resolve
chown systemd-resolve:systemd-resolve /run/systemd/resolve
pids=()
finish() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; wait || true; }
trap finish EXIT
dbus-daemon --config-file="$work/bus.conf" --address="unix:path=$work/bus" \
    --nofork --nopidfile >"$work/bus.out" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [[ -S $work/bus ]] && break; sleep 0.1; done
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus
"$resolved" >"$work/resolved.out" 2>&1 &
pids+=($!)
owned=false
for _ in $(seq 100); do
    if busctl --system call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
        NameHasOwner s org.freedesktop.resolve1 2>/dev/null | grep -q true; then
        owned=true
        break
    fi
    sleep 0.1
done
if [[ $owned != true ]]; then
    echo "FAIL: systemd-resolved did not come up:" >&2
    cat "$work/resolved.out" >&2
    exit 1
fi
TORVANE_RESOLVED_NETNS=1 TORVANE_RESOLVED_IF=$link TORVANE_RESOLVED_OTHER_IF=$other \
    TORVANE_RESOLVED_TUNNEL_DNS=10.232.0.1 TORVANE_RESOLVED_OTHER_DNS=10.232.1.1 \
    TORVANE_RESOLVED_TUNNEL_ANSWER=192.0.2.1 "$tests" --gtest_filter='ResolvedStoreRealTest.*'
# What resolved itself holds afterwards: the link's own servers and domains.
index=$(cat "/sys/class/net/$link/ifindex")
path=$(busctl --system call org.freedesktop.resolve1 /org/freedesktop/resolve1 \
    org.freedesktop.resolve1.Manager GetLink i "$index" | awk '{print $2}' | tr -d '"')
dns=$(busctl --system get-property org.freedesktop.resolve1 "$path" org.freedesktop.resolve1.Link DNS)
domains=$(busctl --system get-property org.freedesktop.resolve1 "$path" \
    org.freedesktop.resolve1.Link Domains)
echo "resolved holds: DNS $dns; Domains $domains"
[[ $dns == 'a(iay) 2 2 4 192 0 2 53 10 16 32 1 13 184 0 0 0 0 0 0 0 0 0 0 0 83' ]]
[[ $domains == 'a(sb) 2 "lan.test" false "corp.test" true' ]]
INNER
ip netns exec "$ns" unshare --mount --propagation private \
    bash "$work/inner.sh" "$work" "$resolved" "$tests" "$link" "$other"
echo "PASS: resolved backend against systemd-resolved in namespace $ns"
