#!/usr/bin/env bash
# The files Torvane stages, loaded into the charon the helper runs, on the
# test bed (tests/netns/testbed.sh): the client's charon is the one in the
# helper's Resources tree with the strongswan.conf the helper renders over
# the project's base file, as PID 1 of a private PID namespace in the bed's
# client namespace. It must load the planned plugins (and none that would
# touch DNS or run scripts), make the userspace-ESP TUN device and its
# routing rule, and keep swanctl quiet about plugins. Tunnels come up against
# the bed's gateway for values that need escapes (their gateway secrets are
# given in hex, so a tunnel proves the rendered secret decodes to the same
# bytes) and for the IKEv1 and key forms the daemon's own scenarios do not
# use. Values that could inject configuration are refused before anything is
# written. charon stops on SIGTERM, as the helper stops it.
#
#   client ns (bed_client_private)              gateway ns
#   Resources/.../charon, tree staged by         the bed's gw-charon, plus
#   strongswan_stage_tool in $W/client      -->  escapes.conf: gw-a, gw-b
#                                                (10.200.0.0/24, 10.201.0.0/24)
#
# Usage: swanctl_netns_test.sh PATH/TO/strongswan_stage_tool HELPER_DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=../../netns/testbed.sh
source "$here/../../netns/testbed.sh"
TOOL=$(realpath "$1")
helper_dir=$(cd "$2" && pwd)
CHARON=$helper_dir/Resources/strongswan/libexec/ipsec/charon
SWANCTL=$helper_dir/Resources/strongswan/sbin/swanctl
ETC=$helper_dir/Resources/strongswan/etc
bed_require_root "$CHARON" "$SWANCTL"
[ -c /dev/net/tun ] || { echo "SKIP: no /dev/net/tun for kernel-libipsec"; exit 77; }
trap bed_down EXIT
bed_up
W=$BED_WORK
C_ROOT=$W/client

# swanctl as the engine runs it: the staged strongswan.conf and swanctl
# directory, the VICI socket in the staging root, a time limit.
client_swanctl() {
    STRONGSWAN_CONF=$C_ROOT/strongswan.conf SWANCTL_DIR=$C_ROOT/swanctl \
        timeout 30 "$SWANCTL" "$@" --uri "unix://$C_ROOT/charon.vici"
}
has() { grep -qF -- "$2" <<<"$1"; } # has TEXT NEEDLE
same() { [ "$1" = "$2" ] || { echo "got '$1', expected '$2'" >&2; return 1; }; }

# --- Gateway ------------------------------------------------------------------
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
bed_gateway_exec ip addr add 10.201.0.1/24 dev lo
cat >"$W/gw/swanctl/conf.d/escapes.conf" <<EOT
connections {
    gw-a {
        local_addrs = $BED_GW_ADDR
        pools = bed-pool
        local {
            auth = psk
            id = gw
        }
        remote {
            auth = psk
            id = "client\"1\\\\x"
        }
        children {
            gw-a {
                local_ts = 10.200.0.0/24
            }
        }
    }
    gw-b {
        local_addrs = $BED_GW_ADDR
        pools = bed-pool
        local {
            auth = psk
            id = gw
        }
        remote {
            auth = psk
            id = client2
        }
        children {
            gw-b {
                local_ts = 10.201.0.0/24
            }
        }
    }
}
secrets {
    ike-a {
        id-gw = gw
        id-client = "client\"1\\\\x"
        secret = 0x$(hex 'pa"ss\word #1')
    }
    ike-b {
        id-gw = gw
        id-client = client2
        secret = 0x$(hex '0xfeed')
    }
}
EOT
bed_gw_swanctl --load-all --noprompt >"$W/gw/escapes.out" 2>&1 || {
    cat "$W/gw/escapes.out"
    exit 1
}

# --- Client profiles ----------------------------------------------------------
UUID_A=6f1d2c3b-0a4e-4b5c-9d8e-7f6a5b4c3d2e
UUID_B=1a2b3c4d-5e6f-4a0b-8c1d-2e3f4a5b6c7d
UUID_C=99887766-5544-4332-8110-ffeeddccbbaa
in=$W/in
mkdir -p "$in"
# A: mutual PSK, identity and key with quote, backslash and '#', a local
# identity with surrounding blanks, default proposals.
cat >"$in/a.json" <<'EOT'
{"id": "6F1D2C3B-0A4E-4B5C-9D8E-7F6A5B4C3D2E", "authMethod": "pskMutual",
 "remoteAddr": "10.10.0.1", "localID": " \tclient\"1\\x ", "remoteID": "gw",
 "ikeVersion": 2, "fragmentation": true, "encap": false, "requestVIP": true,
 "remoteTS": "10.200.0.0/24"}
EOT
echo '{"xauthPassword": "pa\"ss\\word #1", "privateKeyPEM": ""}' >"$in/a-secrets.json"
# B: a key that swanctl would otherwise decode as hex, proposal lists with
# spaces after the commas.
cat >"$in/b.json" <<'EOT'
{"id": "1A2B3C4D-5E6F-4A0B-8C1D-2E3F4A5B6C7D", "authMethod": "pskMutual",
 "remoteAddr": "10.10.0.1", "localID": "client2", "remoteID": "gw",
 "ikeVersion": 2, "encap": false, "requestVIP": true, "remoteTS": "10.201.0.0/24",
 "ikeProposals": "aes256-sha512-ecp384, aes128-sha256-modp2048",
 "espProposals": "aes256-sha512-ecp384, aes128-sha256-modp2048"}
EOT
echo '{"xauthPassword": "0xfeed", "privateKeyPEM": ""}' >"$in/b-secrets.json"
# C: EAP-MSCHAPv2, loaded only: a Windows-style user name with a backslash
# and '=' is carried unquoted, a remote identity with braces and '#' quoted.
CA_JSON=$(awk '{printf "%s\\n", $0}' "$W/pki/ca.crt")
cat >"$in/c.json" <<EOT
{"id": "99887766-5544-4332-8110-FFEEDDCCBBAA", "authMethod": "eapMSCHAPv2",
 "remoteAddr": "10.10.0.1", "xauthID": "CORP\\\\user=1", "remoteID": "CN={gw} #1",
 "requestVIP": false, "caCertPEM": "$CA_JSON"}
EOT
echo '{"xauthPassword": "\\\"", "privateKeyPEM": ""}' >"$in/c-secrets.json"
for x in a b c; do
    "$TOOL" stage "$in/$x.json" "$in/$x-secrets.json" "$ETC" "$C_ROOT" >"$in/$x.name"
done
NAME_A=$(<"$in/a.name") NAME_B=$(<"$in/b.name") NAME_C=$(<"$in/c.name")

# The key forms a user may paste besides the bed's PKCS#8 (PKCS#1 RSA, SEC1
# EC), and IKEv1 with a certificate and with a group PSK.
pki=$W/pki
openssl rsa -in "$pki/client-rsa.key" -traditional -out "$pki/client-rsa.pkcs1.key" 2>/dev/null
openssl ec -in "$pki/client-ecdsa.key" -out "$pki/client-ecdsa.sec1.key" 2>/dev/null
bed_make_profile cert-v1-pkcs1 certificate ikeVersion=1 clientCertPEM="$(<"$pki/client-rsa.crt")" \
    privateKeyPEM="$(<"$pki/client-rsa.pkcs1.key")" >/dev/null
bed_make_profile eapTLS-sec1 eapTLS privateKeyPEM="$(<"$pki/client-ecdsa.sec1.key")" >/dev/null
forms=(certificate-ikev1 cert-v1-pkcs1 eapTLS-sec1 pskMutual-ikev1)
declare -A form_name
for f in "${forms[@]}"; do
    form_name[$f]=$("$TOOL" stage "$W/profiles/$f.profile.json" "$W/profiles/$f.secrets.json" \
        "$ETC" "$C_ROOT")
done
check "strongSwan name" same "$NAME_A" "ov-$UUID_A"

# --- The client's charon --------------------------------------------------------
STRONGSWAN_CONF=$C_ROOT/strongswan.conf bed_client_private "$CHARON" >"$W/client.out" 2>&1 &
outer=$!
bed_track_pid "$outer"
bed_wait_for_socket "$C_ROOT/charon.vici" 20 || { cat "$W/client.out"; exit 1; }
# The plugin list is logged once all have loaded.
for _ in $(seq 100); do
    grep -q "loaded plugins" "$W/client.out" && break
    sleep 0.1
done
plugins=$(sed -n 's/.*loaded plugins: //p' "$W/client.out")
for plugin in nonce openssl kdf pem pkcs1 pkcs8 x509 pubkey revocation constraints \
    kernel-libipsec kernel-netlink socket-default vici attr eap-identity eap-mschapv2 eap-tls \
    xauth-generic; do
    check "plugin $plugin loaded" has " $plugins " " $plugin "
done
# The first kernel-ipsec backend wins: userspace ESP must come first.
check "kernel-libipsec loaded before kernel-netlink" \
    eval '[[ $plugins == *kernel-libipsec*kernel-netlink* ]]'
for unwanted in resolve stroke updown; do
    check "plugin $unwanted not loaded" fails has " $plugins " " $unwanted "
done
check "TUN device ipsec0 made" bed_client_exec ip link show ipsec0
check "routing rule after the main table" \
    eval 'ip -n "$BED_NS_CLIENT" rule show | grep -q "^32800:"'

creds=$(client_swanctl --load-creds 2>&1) || echo "swanctl --load-creds failed: $creds" >&2
check "no plugin noise in what swanctl prints" fails has "$creds" "failed to load"
check "PSK of A loaded" has "$creds" "loaded ike secret 'ike-$UUID_A'"
check "PSK of B loaded" has "$creds" "loaded ike secret 'ike-$UUID_B'"
check "EAP secret of C loaded" has "$creds" "loaded eap secret 'eap-$UUID_C'"
conns=$(client_swanctl --load-conns 2>&1) || echo "swanctl --load-conns failed: $conns" >&2
check "all connections loaded" has "$conns" "successfully loaded $((3 + ${#forms[@]})) connections"
listed=$(client_swanctl --list-conns --raw 2>&1 || true)
check "local identity of A unescaped and trimmed" has "$listed" 'id=client"1\x '
check "user name of C carried unquoted" has "$listed" 'eap_id=CORP\user=1 '
check "remote identity of C unescaped" has "$listed" 'id=CN={gw} #1 '

# --- Tunnels --------------------------------------------------------------------
initiate_a=$(client_swanctl --initiate --child "$NAME_A" 2>&1) || echo "initiate A: $initiate_a" >&2
initiate_b=$(client_swanctl --initiate --child "$NAME_B" 2>&1) || echo "initiate B: $initiate_b" >&2
check "virtual IP of A from --initiate" same "$("$TOOL" tunnel-info <<<"$initiate_a")" \
    $'vip=10.99.0.1\ntun=(none)'
check "virtual IP of B from --initiate" same "$("$TOOL" tunnel-info <<<"$initiate_b")" \
    $'vip=10.99.0.2\ntun=(none)'
listing_a=$(client_swanctl --list-sas --ike "$NAME_A" 2>&1 || true)
check "listing of A" same "$("$TOOL" sa-listing <<<"$listing_a")" \
    $'vip=10.99.0.1\nremote=10.10.0.1\nestablished-installed=yes'
all=$(client_swanctl --list-sas 2>&1 || true)
check "CHILD_SA of A installed" same "$("$TOOL" child-installed "$NAME_A" <<<"$all")" yes
check "CHILD_SA of B installed" same "$("$TOOL" child-installed "$NAME_B" <<<"$all")" yes
check "C is not up" same "$("$TOOL" child-installed "$NAME_C" <<<"$all")" no
if [ -n "${TORVANE_CAPTURE_DIR:-}" ]; then
    printf '%s\n' "$initiate_a" >"$TORVANE_CAPTURE_DIR/initiate.txt"
    printf '%s\n' "$listing_a" >"$TORVANE_CAPTURE_DIR/list-sas-ike.txt"
    printf '%s\n' "$all" >"$TORVANE_CAPTURE_DIR/list-sas.txt"
fi
# One at a time: the gateway keeps one IKE SA per pair of identities.
for f in "${forms[@]}"; do
    name=${form_name[$f]}
    out=$(client_swanctl --initiate --child "$name" 2>&1) || echo "initiate $f: $out" >&2
    check "$f up" same "$("$TOOL" child-installed "$name" <<<"$(client_swanctl --list-sas 2>&1)")" yes
    client_swanctl --terminate --ike "$name" >/dev/null 2>&1 || true
done

# --- Injection attempts -----------------------------------------------------------
# Each is refused by the check with a message naming the field, and the
# staged tree stays exactly as it was.
tree_state() { (cd "$C_ROOT" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(tree_state)
attempt() { # label, profile JSON, secrets JSON, expected message part
    printf '%s' "$2" >"$in/bad.json"
    printf '%s' "$3" >"$in/bad-secrets.json"
    local message status=0
    message=$("$TOOL" stage "$in/bad.json" "$in/bad-secrets.json" "$ETC" "$C_ROOT" 2>&1) ||
        status=$?
    check "$1 refused" same "$status" 2
    check "$1 names the field" has "$message" "$4"
}
BAD_ID='"id": "0BADC0DE-0000-4000-8000-000000000001"'
KEY='{"xauthPassword": "k", "privateKeyPEM": ""}'
attempt "remote address with a line break" \
    "{$BAD_ID, \"authMethod\": \"psk\", \"remoteAddr\": \"10.0.0.1\\n        updown = /tmp/x\"}" \
    "$KEY" "The profile's remote address contains characters that strongSwan cannot accept: a line break"
attempt "EAP identity closing its section" \
    "{$BAD_ID, \"authMethod\": \"eapMSCHAPv2\", \"remoteAddr\": \"10.0.0.1\", \"localID\": \"u }\"}" \
    "$KEY" "The profile's local identity contains characters that strongSwan cannot accept: '}'"
attempt "XAuth user name opening a quoted string" \
    "{$BAD_ID, \"authMethod\": \"xauth\", \"remoteAddr\": \"10.0.0.1\", \"xauthID\": \"u\\\" #\"}" \
    "$KEY" "The profile's user name contains characters that strongSwan cannot accept: '\"', '#'"
attempt "pre-shared key with a line break" \
    "{$BAD_ID, \"authMethod\": \"psk\", \"remoteAddr\": \"10.0.0.1\"}" \
    '{"xauthPassword": "k\"\n}\nsecrets {", "privateKeyPEM": ""}' \
    "The password or pre-shared key contains characters that strongSwan cannot accept: a line break"
check "staged tree untouched by refused profiles" same "$(tree_state)" "$before"

# --- Stop -------------------------------------------------------------------------
# The helper stops charon with SIGTERM. Below the shell that ran
# bed_client_private, `ip netns exec` became unshare, whose one child is charon.
child() { tr -d ' ' <"/proc/$1/task/$1/children"; }
charon_pid=$(child "$(child "$outer")")
check "client charon found" same "$(cat "/proc/$charon_pid/comm")" charon
[ -z "$charon_pid" ] || kill -TERM "$charon_pid"
for _ in $(seq 100); do
    grep -q "SIGTERM received, shutting down" "$W/client.out" && break
    sleep 0.1
done
check "charon stops on SIGTERM" grep -q "SIGTERM received, shutting down" "$W/client.out"

if [ "$failed" -ne 0 ]; then
    echo "--- client charon output" >&2
    tail -n 60 "$W/client.out" >&2
fi
checks_summary strongswan_netns
