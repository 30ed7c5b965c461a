#!/usr/bin/env bash
# The real charon with the base strongswan.conf, started through the
# Resources symlink as the helper starts it: it must load the planned plugins
# (and none that would touch DNS or run scripts), make the userspace-ESP TUN
# device and its routing rule, keep swanctl quiet about plugins, and stop on
# SIGTERM. Tunnels with this base file, for every authentication method and
# key form, are brought up by tests/netns/bed_selftest.sh and helper_e2e.sh.
#
# charon runs in a network namespace tva-ac-PID of its own, as PID 1 of a
# private PID namespace with a private /run.
#
# Usage: base_config.sh HELPER_DIR
set -uo pipefail

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: needs root (network namespaces, TUN devices)"
    exit 77
fi
helper_dir=$(cd "$1" && pwd)
charon=$helper_dir/Resources/strongswan/libexec/ipsec/charon
swanctl=$helper_dir/Resources/strongswan/sbin/swanctl
BASE=$helper_dir/Resources/strongswan/etc/strongswan.conf
cn=tva-ac-$$
D=$(mktemp -d /tmp/tva-base.XXXXXX)
CU=
cleanup() {
    [ -z "$CU" ] || kill -KILL "$CU" 2>/dev/null
    ip netns del "$cn" 2>/dev/null
    rm -rf "$D"
}
trap cleanup EXIT

ip netns add "$cn"
ip -n "$cn" link set lo up
mkdir -p $D/swanctl/{x509,x509ca,x509aa,x509ac,x509crl,x509ocsp,private,rsa,ecdsa,pkcs8,pkcs12,pubkey,conf.d}
printf 'include %s\ncharon {\n    install_routes = no\n    plugins {\n        vici {\n            socket = unix://%s/charon.vici\n        }\n    }\n}' "$BASE" "$D" >$D/strongswan.conf
echo 'include conf.d/*.conf' >$D/swanctl/swanctl.conf
STRONGSWAN_CONF=$D/strongswan.conf ip netns exec "$cn" unshare --pid --fork --mount-proc \
    --kill-child sh -c 'mount -t tmpfs tmpfs /run && exec "$0"' "$charon" >"$D/charon.log" 2>&1 &
CU=$!
# The VICI plugin makes its socket while the plugins load; the plugin list
# is logged once all have loaded.
for _ in $(seq 200); do
    [ -S $D/charon.vici ] && grep -q "loaded plugins" $D/charon.log && break
    sleep 0.1
done
base_fail() { echo "FAIL: $*"; echo "--- charon output:"; cat $D/charon.log; exit 1; }
[ -S $D/charon.vici ] || base_fail "charon did not start"

# charon comes up as the helper expects: the planned plugins, the
# userspace-ESP TUN device ipsec0, and kernel-libipsec's routing rule after
# the main table.
plugins=$(sed -n 's/.*loaded plugins: //p' $D/charon.log)
for plugin in nonce openssl kdf pem pkcs1 pkcs8 x509 pubkey revocation constraints \
    kernel-libipsec kernel-netlink socket-default vici attr eap-identity eap-mschapv2 eap-tls \
    xauth-generic; do
    [[ " $plugins " == *" $plugin "* ]] || base_fail "plugin $plugin not loaded"
done
# The first kernel-ipsec backend wins: userspace ESP must come first.
[[ "$plugins" == *kernel-libipsec*kernel-netlink* ]] || base_fail "kernel-netlink loaded before kernel-libipsec"
for unwanted in resolve stroke updown; do
    [[ " $plugins " != *" $unwanted "* ]] || base_fail "plugin $unwanted loaded"
done
grep -q "created TUN device: ipsec0" $D/charon.log || base_fail "no TUN device in the log"
ip -n "$cn" link show ipsec0 >/dev/null || base_fail "no ipsec0 device"
ip -n "$cn" rule show | grep -q '^32800:' || base_fail "no routing rule at priority 32800"

# No plugin noise in what the helper reads back from swanctl.
out=$(STRONGSWAN_CONF=$D/strongswan.conf SWANCTL_DIR=$D/swanctl "$swanctl" --load-creds \
    --uri unix://$D/charon.vici 2>&1) || base_fail "swanctl --load-creds failed: $out"
if grep -q "failed to load" <<<"$out"; then
    base_fail "swanctl printed plugin load failures: $out"
fi

# The helper stops charon with SIGTERM.
charon_pid=$(tr -d " " <"/proc/$CU/task/$CU/children")
[ "$(cat "/proc/$charon_pid/comm")" = charon ] || base_fail "pid $charon_pid is not charon"
kill -TERM "$charon_pid"
for _ in $(seq 100); do
    grep -q "SIGTERM received, shutting down" $D/charon.log && break
    sleep 0.1
done
grep -q "SIGTERM received, shutting down" $D/charon.log || base_fail "charon did not stop on SIGTERM"
echo "base configuration: ok (plugins: $plugins)"
