#!/usr/bin/env bash
# The resolved backend of the dynamic store against a real systemd-resolved,
# run privately inside a network namespace: its own /run (tmpfs), its own
# system bus, and its service user added to private copies of passwd and
# group. The host's resolver, bus and /run are never touched. The store's
# cases run against it (bad input, a write resolved itself refuses halfway,
# the override with its journal), then once more with resolved ended.
#
#   client ns $BED_NS_CLIENT                  peer ns $BED_NS_GW
#  +--------------------------------+        +------------------------------+
#  |  <p>-c0 10.10.0.2/24           |--veth--|  <p>-g0 10.10.0.1 dnsmasq A  |
#  |  <p>-c1 10.10.1.2/24           |--veth--|  <p>-g1 10.10.1.1 dnsmasq B  |
#  |  default via 10.10.0.1         |        |  (x.test: A 192.0.2.1,       |
#  |  resolv.conf: 10.10.1.1        |        |           B 192.0.2.2)       |
#  |  dbus-daemon, systemd-resolved |        |                              |
#  +--------------------------------+        +------------------------------+
#
# Usage: resolved_store.sh <resolved_store_tests binary> [helper build dir]
# (the helper's build folder holds the bundled dnsmasq the DNS proxy runs)
# The resolved program: $TORVANE_RESOLVED_BIN, else the installed one. The
# package is not installed by setup-deps.sh: its postinst turns the host's
# /etc/resolv.conf into a link to resolved's stub and starts the service.
# Unpacking it is harmless: scripts/unpack-resolved.sh does (the test command
# runs it), into the last of the places looked at below.
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
tests=${1:?usage: resolved_store.sh TEST_BINARY [HELPER_DIR]}
helper_dir=${2:-}
bed_require dbus-daemon busctl dnsmasq
resolved=${TORVANE_RESOLVED_BIN:-}
for candidate in /lib/systemd/systemd-resolved /usr/lib/systemd/systemd-resolved \
    /var/cache/torvane/systemd-resolved/lib/systemd/systemd-resolved; do
    [[ -z $resolved && -x $candidate ]] && resolved=$candidate
done
if [[ -z $resolved || ! -x $resolved ]]; then
    echo "SKIP: systemd-resolved is not available (set TORVANE_RESOLVED_BIN)" >&2
    exit 77
fi

trap bed_down EXIT
bed_ns_up 2
link=$BED_PREFIX-c0
other=$BED_PREFIX-c1
work=$BED_WORK # 0755: resolved drops to its own user and must reach the bus socket
# resolved takes a foreign resolv.conf's servers as its global ones.
echo "nameserver 10.10.1.1" >"/etc/netns/$BED_NS_CLIENT/resolv.conf"
for side in 0.1/192.0.2.1 1.1/192.0.2.2; do
    bed_gateway_exec dnsmasq --no-daemon --no-resolv --no-hosts --bind-interfaces \
        --listen-address="10.10.${side%/*}" --address="/x.test/${side#*/}" \
        >"$work/dnsmasq-${side%/*}.out" 2>&1 &
    bed_track_pid $!
done

# DNS packets leaving by each link: with the override's routing domain on
# one, none may leave by the other.
bed_client_exec nft -f - <<EOF
table inet tvn_dnsleak {
    counter primary {}
    counter other {}
    chain post {
        type filter hook postrouting priority 300; policy accept;
        oifname "$link" meta l4proto { udp, tcp } th dport 53 counter name primary
        oifname "$other" meta l4proto { udp, tcp } th dport 53 counter name other
    }
}
EOF

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
work=$1 resolved=$2 tests=$3 link=$4 other=$5 helper_dir=$6
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
bed_wait_for_socket "$work/bus" 5
export DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/bus
"$resolved" >"$work/resolved.out" 2>&1 &
resolved_pid=$!
pids+=($resolved_pid)
owned() {
    busctl --system call org.freedesktop.DBus /org/freedesktop/DBus org.freedesktop.DBus \
        NameHasOwner s org.freedesktop.resolve1 2>/dev/null | grep -q true
}
eventually 10 owned || { echo "FAIL: systemd-resolved did not come up:" >&2; cat "$work/resolved.out" >&2; exit 1; }
TORVANE_TEST_HELPER_DIR=$helper_dir TORVANE_RESOLVED_NETNS=1 TORVANE_RESOLVED_IF=$link TORVANE_RESOLVED_OTHER_IF=$other \
    TORVANE_RESOLVED_TUNNEL_DNS=10.10.0.1 TORVANE_RESOLVED_OTHER_DNS=10.10.1.1 \
    TORVANE_RESOLVED_TUNNEL_ANSWER=192.0.2.1 "$tests" --gtest_filter='ResolvedStoreRealTest.*'
dns_out() { nft list counter inet tvn_dnsleak "${1:-other}" | awk '/packets/ {print $2}'; }
leaked=$(dns_out)
echo "resolved backend: DNS packets out of the other link ($other) while overridden: $leaked"
[[ $leaked == 0 ]] || { echo "FAIL: $leaked DNS packets left through the other link" >&2; exit 1; }
# The override's servers behind the other link (as a tunnel's are behind
# its device): asked there only, none by the primary link.
p0=$(dns_out primary) o0=$(dns_out other)
TORVANE_RESOLVED_DIVERT=1 TORVANE_RESOLVED_IF=$link TORVANE_RESOLVED_OTHER_IF=$other \
    TORVANE_RESOLVED_OTHER_DNS=10.10.1.1 TORVANE_RESOLVED_OTHER_ANSWER=192.0.2.2 \
    "$tests" --gtest_filter='ResolvedStoreDivertTest.*'
echo "resolved backend: servers behind $other: $(($(dns_out other) - o0)) DNS packets out of" \
    "$other, $(($(dns_out primary) - p0)) out of the primary link $link"
[[ $(dns_out primary) == "$p0" ]] || { echo "FAIL: DNS packets left by the primary link" >&2; exit 1; }
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
# Positive control: with servers on both links and no routing domain,
# resolved asks the other link too, and the counter sees it.
o0=$(dns_out other)
for dev in "$link" "$other"; do
    net=0
    [[ $dev == "$other" ]] && net=1
    busctl --system call org.freedesktop.resolve1 /org/freedesktop/resolve1 \
        org.freedesktop.resolve1.Manager SetLinkDNS 'ia(iay)' \
        "$(cat "/sys/class/net/$dev/ifindex")" 1 2 4 10 10 "$net" 1
done
busctl --system call org.freedesktop.resolve1 /org/freedesktop/resolve1 \
    org.freedesktop.resolve1.Manager ResolveHostname isit 0 control.x.test 2 0 >/dev/null || true
echo "resolved backend: the same without the override: $(($(dns_out) - o0)) packets out of $other"
[[ $(dns_out) -gt $o0 ]] || { echo "FAIL: the counter saw no query on $other" >&2; exit 1; }
# With resolved gone (the bus stays), every call fails with a reason.
kill "$resolved_pid"
wait "$resolved_pid" || true
TORVANE_RESOLVED_GONE=1 TORVANE_RESOLVED_IF=$link "$tests" --gtest_filter='ResolvedStoreGoneTest.*'
INNER
bed_client_exec unshare --mount --propagation private \
    bash "$work/inner.sh" "$work" "$resolved" "$tests" "$link" "$other" "$helper_dir"
echo "PASS: resolved backend against systemd-resolved in namespace $BED_NS_CLIENT"
