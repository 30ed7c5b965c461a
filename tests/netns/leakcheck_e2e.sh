#!/usr/bin/env bash
# The leak self-check on the real daemon: a full tunnel with kill switch and
# IPv6 leak prevention is all OK, and the check leaves the machine exactly
# as it was. Then each safeguard is broken on purpose (a tunnel route
# deleted, resolv.conf replaced, a global IPv6 address added, our firewall
# table flushed): `torvanectl check` names the failure with its hint and exits
# 1; the tunnel is reconnected (or the break undone) before the next one.
#
#   leakcheck_e2e.sh HELPER TESTCLIENT TORVANECTL
set -euo pipefail
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
bed_daemon_up "$1" "$2"
CTL=$(realpath "$3")
export CTL

bed_make_profile full psk user=user04 name=Full remoteTS=0.0.0.0/0 dnsServers="$BED_LAN_ADDR" \
    preventIPv6Leak=true killSwitchEnabled=true keepaliveIP="$BED_LAN_ADDR" >/dev/null

inner() {
    set -u
    local passed=0 failed=0 out rc
    export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config TORVANE_HELPER_SOCKET=$S
    mkdir -p "$XDG_CONFIG_HOME"
    # Runs the check; its output in $out, its status in $rc.
    leak_check() {
        rc=0
        out=$("$CTL" check 2>&1) || rc=$?
        printf -- '--- %s (exit %s)\n%s\n' "$1" "$rc" "$out" >>"$W/checks.out"
    }
    # The machine without the firewall's packet counters, which any traffic
    # (a keepalive, the check's own DNS query) moves.
    settings() { machine_snapshot | sed 's/counter packets [0-9]* bytes [0-9]*/counter/'; }
    # Waits until the new tunnel's DNS is written and the override has had
    # its look: a write still on its way would land in the next break's
    # stand-in resolv.conf and hide it.
    reconnect() {
        T stop "$(id_of full)" >/dev/null
        connects full "reconnected after $1"
        eventually 5 machine_settled || true
        eventually 5 grep -q "^nameserver $BED_LAN_ADDR" /etc/resolv.conf || true
        # The route change of the reconnect makes the DNS override look at
        # the primary link again, a moment after the tunnel is up.
        sleep 1
    }

    launch --trust-client "$CTL"
    leak_check "no tunnel"
    check "no tunnel: says so and exits 0 ($out)" \
        bash -c '[ "$0" = 0 ] && grep -q "No tunnel is up" <<<"$1"' "$rc" "$out"

    connects full
    eventually 5 machine_settled || true
    settings >"$W/before"
    leak_check "healthy"
    check "healthy: exit 0" test "$rc" = 0
    check "healthy: nothing but OK" fails grep -qv '^OK  \|^    ' <<<"$out"
    local name
    for name in routes dns ipv6 killswitch charon; do
        check "healthy: $name is checked" grep -q "^OK  $name: " <<<"$out"
    done
    check "the check changed nothing" diff "$W/before" <(settings)

    # A half-default route gone: the rest of IPv4 leaves in the clear.
    ip route del 0.0.0.0/1
    leak_check "route deleted"
    check "route deleted: exit 1" test "$rc" = 1
    check "route deleted: routes FAIL with the reconnect hint" \
        grep -Pzq 'FAIL  routes: .*64\.0\.0\.1 leaves by .*\n    Reconnect the tunnel' <<<"$out"
    reconnect "the route"

    # Another resolver in place of the tunnel's (a bind mount, so the
    # daemon's watch on /etc does not put its own back first).
    printf 'nameserver 10.10.0.1\n' >"$W/other.resolv.conf"
    mount --bind "$W/other.resolv.conf" /etc/resolv.conf
    leak_check "resolv.conf replaced"
    umount /etc/resolv.conf
    check "resolv.conf replaced: exit 1" test "$rc" = 1
    check "resolv.conf replaced: dns FAIL with its hint" \
        grep -Pzq 'FAIL  dns: the system resolver uses 10\.10\.0\.1 instead .*\n    Something changed /etc/resolv.conf' <<<"$out"

    # An interface with a global IPv6 address (down, so leak prevention's
    # interface watch leaves it alone).
    ip link add tvlk0 type veth peer name tvlk1
    ip -6 addr add 2001:db8::2/64 dev tvlk0 nodad
    leak_check "global IPv6 address"
    ip link del tvlk0
    check "IPv6 address: exit 1" test "$rc" = 1
    check "IPv6 address: ipv6 FAIL naming it, with its hint" \
        grep -Pzq 'FAIL  ipv6: .*tvlk0 2001:db8::2.*\n    Reconnect the tunnel so that IPv6' <<<"$out"

    # Our firewall table emptied: nothing passes, yet nothing is enforced
    # as the policy says.
    nft flush table inet torvane_killswitch
    leak_check "firewall table flushed"
    check "table flushed: exit 1" test "$rc" = 1
    check "table flushed: killswitch FAIL with its hint" \
        grep -Pzq 'FAIL  killswitch: .*differs from the tunnels. policy.*\n    Reconnect the tunnel, which loads' <<<"$out"
    reconnect "the table flush"
    leak_check "repaired"
    check "after the repairs: all OK again" test "$rc" = 0

    T stop-all >/dev/null
    daemon_stop
    cat "$W/checks.out"
    daemon_summary leakcheck_e2e
}
export -f inner
bed_client_private bash -c inner
