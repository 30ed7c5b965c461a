#!/usr/bin/env bash
# Starts the real charon through the Resources symlink with our base
# strongswan.conf and checks that it comes up as the helper expects: the
# planned plugins loaded, the userspace-ESP TUN device ipsec0, kernel-libipsec's
# routing rule after the main table, and the VICI socket where the config
# puts it. Then stops it by pid.
#
#   [ namespace tva-pc-PID: lo, ipsec0 ]  private /run (tmpfs), own PID namespace
#
# Usage: charon_base_config.sh HELPER_DIR
set -euo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root (network namespaces, TUN device)"
    exit 77
fi
helper_dir=$(cd "$1" && pwd)
charon=$helper_dir/Resources/strongswan/libexec/ipsec/charon
base=$helper_dir/Resources/strongswan/etc/strongswan.conf
[ -x "$charon" ] || { echo "FAIL: $charon is not executable"; exit 1; }
[ -f "$base" ] || { echo "FAIL: $base is missing"; exit 1; }

ns=tva-pc-$$
work=$(mktemp -d /tmp/tva-charon.XXXXXX)
launcher=
cleanup() {
    [ -n "$launcher" ] && kill -KILL "$launcher" 2>/dev/null
    ip netns del "$ns" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

cat >"$work/strongswan.conf" <<CONF
include $base
charon {
    install_routes = no
    plugins {
        vici {
            socket = unix://$work/charon.vici
        }
    }
}
CONF

ip netns add "$ns"
ip -n "$ns" link set lo up
# --kill-child: should this script die, its charon dies with it.
STRONGSWAN_CONF=$work/strongswan.conf ip netns exec "$ns" \
    unshare --pid --fork --mount-proc --kill-child \
    sh -c 'mount -t tmpfs tmpfs /run && exec "$0"' "$charon" >"$work/charon.log" 2>&1 &
launcher=$!

# The VICI plugin makes its socket while the plugins load; the plugin list
# is logged once all have loaded.
for _ in $(seq 200); do
    [ -S "$work/charon.vici" ] && grep -q "loaded plugins" "$work/charon.log" && break
    sleep 0.1
done
fail() { echo "FAIL: $*"; echo "--- charon output:"; cat "$work/charon.log"; exit 1; }
[ -S "$work/charon.vici" ] || fail "no VICI socket at $work/charon.vici"

charon_pid=$(tr -d " " <"/proc/$launcher/task/$launcher/children")
[ "$(cat "/proc/$charon_pid/comm")" = charon ] || fail "pid $charon_pid is not charon"

plugins=$(sed -n 's/.*loaded plugins: //p' "$work/charon.log")
for plugin in nonce openssl kdf pem pkcs1 pkcs8 x509 pubkey revocation constraints \
    kernel-libipsec kernel-netlink socket-default vici attr eap-identity eap-mschapv2 eap-tls \
    xauth-generic; do
    [[ " $plugins " == *" $plugin "* ]] || fail "plugin $plugin not loaded"
done
# The first kernel-ipsec backend wins: userspace ESP must come first.
[[ "$plugins" == *kernel-libipsec*kernel-netlink* ]] || fail "kernel-netlink loaded before kernel-libipsec"
for unwanted in resolve stroke updown; do
    [[ " $plugins " != *" $unwanted "* ]] || fail "plugin $unwanted loaded"
done
grep -q "created TUN device: ipsec0" "$work/charon.log" || fail "no TUN device in the log"
ip -n "$ns" link show ipsec0 >/dev/null || fail "no ipsec0 device"
ip -n "$ns" rule show | grep -q '^32800:' || fail "no routing rule at priority 32800"

kill -TERM "$charon_pid"
wait "$launcher" || true
launcher=
grep -q "SIGTERM received, shutting down" "$work/charon.log" || fail "charon did not stop on SIGTERM"
echo "PASS: charon started with the base configuration (plugins: $plugins)"
