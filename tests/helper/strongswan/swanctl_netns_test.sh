#!/bin/bash
# Loads the configuration Torvane renders into a real charon and brings
# tunnels up against a second charon acting as the gateway, then checks that
# values needing escapes reach strongSwan unchanged and that values which
# could inject configuration are refused before anything is written.
#
#   tvd-ss<pid>c (client)                        tvd-ss<pid>g (gateway)
#   charon in its own PID namespace,             charon in its own PID namespace,
#   tree staged by strongswan_stage_tool         hand-written swanctl.conf,
#                                                pool 10.99.0.0/24, 10.200.0.1 and
#                                                10.201.0.1 on lo
#         tvd-c0 10.10.0.2/24  ---- veth ----  tvd-g0 10.10.0.1/24
#
# Each charon gets a tmpfs over /run, so its pid file stays private.
# Usage: swanctl_netns_test.sh PATH/TO/strongswan_stage_tool
set -euo pipefail

TOOL=$1
CHARON=/usr/lib/ipsec/charon
SWANCTL=/usr/sbin/swanctl

skip() { echo "SKIP: $*"; exit 77; }
[ "$(id -u)" = 0 ] || skip "needs root for network and PID namespaces"
[ -x "$CHARON" ] && [ -x "$SWANCTL" ] || skip "strongSwan's charon and swanctl are not installed"
[ -c /dev/net/tun ] || skip "no /dev/net/tun for kernel-libipsec"
for program in ip unshare openssl; do
    command -v "$program" >/dev/null || skip "needs $program"
done

NS_C=tvd-ss$$c
NS_G=tvd-ss$$g
WORK=$(mktemp -d /tmp/tvd-swanctl.XXXXXX)
PIDS=()
FAILURES=0

cleanup() {
    # unshare --fork ignores SIGTERM itself: stop its child, the charon, and
    # kill unshare only if charon does not go (--kill-child then ends it).
    local pid child
    for pid in "${PIDS[@]}"; do
        child=$(cat "/proc/$pid/task/$pid/children" 2>/dev/null || true)
        [ -n "$child" ] && kill $child 2>/dev/null || true
    done
    for pid in "${PIDS[@]}"; do
        timeout 10 tail --pid="$pid" -f /dev/null || kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    ip netns del "$NS_C" 2>/dev/null || true
    ip netns del "$NS_G" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() { echo "FAIL: $*"; FAILURES=$((FAILURES + 1)); }
pass() { echo "ok: $*"; }
expect_contains() { # what, haystack, needle
    if grep -qF -- "$3" <<<"$2"; then pass "$1"; else fail "$1: missing '$3' in:"; echo "$2"; fi
}
expect_equal() { # what, actual, expected
    if [ "$2" = "$3" ]; then pass "$1"; else fail "$1: got '$2', expected '$3'"; fi
}

# charon NS STRONGSWAN_CONF VICI_SOCKET LOG: starts charon as PID 1 of a new
# PID namespace and waits for its VICI socket. unshare --kill-child takes
# charon down when the unshare process is killed at cleanup.
start_charon() {
    ip netns exec "$1" unshare --pid --fork --mount-proc --kill-child \
        bash -c 'mount -t tmpfs tmpfs /run && STRONGSWAN_CONF=$1 exec "$2"' _ "$2" "$CHARON" \
        >"$4" 2>&1 &
    PIDS+=($!)
    local i
    for i in $(seq 300); do
        [ -S "$3" ] && return 0
        kill -0 "$!" 2>/dev/null || break
        sleep 0.1
    done
    echo "charon in $1 did not create $3:"; cat "$4"
    exit 1
}

# swanctl as the engine runs it: the staged strongswan.conf and swanctl
# directory, the VICI socket in the staging root, a time limit.
C_ROOT=$WORK/client/run
G_ROOT=$WORK/gateway
client_swanctl() {
    STRONGSWAN_CONF=$C_ROOT/strongswan.conf SWANCTL_DIR=$C_ROOT/swanctl \
        timeout 30 ip netns exec "$NS_C" "$SWANCTL" "$@" --uri "unix://$C_ROOT/charon.vici"
}
gateway_swanctl() {
    STRONGSWAN_CONF=$G_ROOT/strongswan.conf SWANCTL_DIR=$G_ROOT/swanctl \
        timeout 30 ip netns exec "$NS_G" "$SWANCTL" "$@" --uri "unix://$G_ROOT/charon.vici"
}

ip netns add "$NS_C"
ip netns add "$NS_G"
ip -n "$NS_C" link add tvd-c0 type veth peer name tvd-g0 netns "$NS_G"
ip -n "$NS_C" addr add 10.10.0.2/24 dev tvd-c0
ip -n "$NS_G" addr add 10.10.0.1/24 dev tvd-g0
# The networks behind the gateway; kernel-libipsec needs a source address
# in them for its routes.
ip -n "$NS_G" addr add 10.200.0.1/24 dev lo
ip -n "$NS_G" addr add 10.201.0.1/24 dev lo
for ns in "$NS_C" "$NS_G"; do
    ip -n "$ns" link set lo up
done
ip -n "$NS_C" link set tvd-c0 up
ip -n "$NS_G" link set tvd-g0 up

# The base configuration the client's rendered strongswan.conf includes:
# userspace ESP, as on machines without kernel ESP, and a log file.
mkdir -p "$WORK/etc" "$G_ROOT/swanctl"
base_conf() { # log file
    cat <<EOT
charon {
    load_modular = no
    load = random nonce openssl pem pkcs1 pkcs8 x509 pubkey revocation constraints kdf socket-default vici attr kernel-libipsec kernel-netlink
    filelog {
        log {
            path = $1
            default = 1
        }
    }
}
swanctl {
    load = random openssl pem pkcs1 pkcs8 x509 pubkey
}
EOT
}
base_conf "$WORK/client-charon.log" >"$WORK/etc/strongswan.conf"

# --- Gateway --------------------------------------------------------------
# Secrets are given in hex here, so they do not depend on the escaping
# under test: a tunnel comes up only when the client's rendered secret
# decodes to exactly the same bytes.
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
PASSWORD_A='pa"ss\word #1'
PASSWORD_B='0xfeed'
{
    base_conf "$WORK/gateway-charon.log" | sed 's/^charon {$/charon {\n    install_routes = no/'
    cat <<EOT
charon {
    plugins {
        vici {
            socket = unix://$G_ROOT/charon.vici
        }
    }
}
EOT
} >"$G_ROOT/strongswan.conf"
cat >"$G_ROOT/swanctl/swanctl.conf" <<EOT
connections {
    gw-a {
        local_addrs = 10.10.0.1
        pools = clients
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
        local_addrs = 10.10.0.1
        pools = clients
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
pools {
    clients {
        addrs = 10.99.0.0/24
    }
}
secrets {
    ike-a {
        id-gw = gw
        id-client = "client\"1\\\\x"
        secret = 0x$(hex "$PASSWORD_A")
    }
    ike-b {
        id-gw = gw
        id-client = client2
        secret = 0x$(hex "$PASSWORD_B")
    }
}
EOT
start_charon "$NS_G" "$G_ROOT/strongswan.conf" "$G_ROOT/charon.vici" "$WORK/gateway.out"
gateway_swanctl --load-all >"$WORK/gateway-load.out" 2>&1 || {
    cat "$WORK/gateway-load.out"; exit 1; }

# --- Client profiles --------------------------------------------------------
UUID_A=6f1d2c3b-0a4e-4b5c-9d8e-7f6a5b4c3d2e
UUID_B=1a2b3c4d-5e6f-4a0b-8c1d-2e3f4a5b6c7d
UUID_C=99887766-5544-4332-8110-ffeeddccbbaa
mkdir -p "$WORK/in"
# A: mutual PSK, identity and key with quote, backslash and '#', a local
# identity with surrounding blanks, default proposals.
cat >"$WORK/in/a.json" <<'EOT'
{"id": "6F1D2C3B-0A4E-4B5C-9D8E-7F6A5B4C3D2E", "authMethod": "pskMutual",
 "remoteAddr": "10.10.0.1", "localID": " \tclient\"1\\x ", "remoteID": "gw",
 "ikeVersion": 2, "fragmentation": true, "encap": false, "requestVIP": true,
 "remoteTS": "10.200.0.0/24"}
EOT
cat >"$WORK/in/a-secrets.json" <<'EOT'
{"xauthPassword": "pa\"ss\\word #1", "privateKeyPEM": ""}
EOT
# B: a key that swanctl would otherwise decode as hex, proposal lists with
# spaces after the commas.
cat >"$WORK/in/b.json" <<'EOT'
{"id": "1A2B3C4D-5E6F-4A0B-8C1D-2E3F4A5B6C7D", "authMethod": "pskMutual",
 "remoteAddr": "10.10.0.1", "localID": "client2", "remoteID": "gw",
 "ikeVersion": 2, "encap": false, "requestVIP": true, "remoteTS": "10.201.0.0/24",
 "ikeProposals": "aes256-sha512-ecp384, aes128-sha256-modp2048",
 "espProposals": "aes256-sha512-ecp384, aes128-sha256-modp2048"}
EOT
cat >"$WORK/in/b-secrets.json" <<'EOT'
{"xauthPassword": "0xfeed", "privateKeyPEM": ""}
EOT
# C: EAP-MSCHAPv2, loaded only: a Windows-style user name with a backslash
# and '=' is carried unquoted, a remote identity with braces and '#' quoted.
# The gateway is authenticated by certificate, so it needs a CA to load.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
    -subj "/CN=Torvane Test CA" -keyout "$WORK/ca.key" -out "$WORK/ca.pem" 2>/dev/null
CA_JSON=$(awk '{printf "%s\\n", $0}' "$WORK/ca.pem")
cat >"$WORK/in/c.json" <<EOT
{"id": "99887766-5544-4332-8110-FFEEDDCCBBAA", "authMethod": "eapMSCHAPv2",
 "remoteAddr": "10.10.0.1", "xauthID": "CORP\\\\user=1", "remoteID": "CN={gw} #1",
 "requestVIP": false, "caCertPEM": "$CA_JSON"}
EOT
cat >"$WORK/in/c-secrets.json" <<'EOT'
{"xauthPassword": "\\\"", "privateKeyPEM": ""}
EOT

NAME_A=$("$TOOL" stage "$WORK/in/a.json" "$WORK/in/a-secrets.json" "$WORK/etc" "$C_ROOT")
NAME_B=$("$TOOL" stage "$WORK/in/b.json" "$WORK/in/b-secrets.json" "$WORK/etc" "$C_ROOT")
NAME_C=$("$TOOL" stage "$WORK/in/c.json" "$WORK/in/c-secrets.json" "$WORK/etc" "$C_ROOT")
expect_equal "strongSwan name" "$NAME_A" "ov-$UUID_A"

start_charon "$NS_C" "$C_ROOT/strongswan.conf" "$C_ROOT/charon.vici" "$WORK/client.out"

creds=$(client_swanctl --load-creds 2>&1) || fail "swanctl --load-creds exited non-zero: $creds"
expect_contains "PSK of A loaded" "$creds" "loaded ike secret 'ike-$UUID_A'"
expect_contains "PSK of B loaded" "$creds" "loaded ike secret 'ike-$UUID_B'"
expect_contains "EAP secret of C loaded" "$creds" "loaded eap secret 'eap-$UUID_C'"
conns=$(client_swanctl --load-conns 2>&1) || fail "swanctl --load-conns exited non-zero: $conns"
expect_contains "all connections loaded" "$conns" "successfully loaded 3 connections"

listed=$(client_swanctl --list-conns --raw 2>&1)
expect_contains "local identity of A unescaped and trimmed" "$listed" 'id=client"1\x '
expect_contains "user name of C carried unquoted" "$listed" 'eap_id=CORP\user=1 '
expect_contains "remote identity of C unescaped" "$listed" 'id=CN={gw} #1 '

# --- Tunnels ----------------------------------------------------------------
initiate_a=$(client_swanctl --initiate --child "$NAME_A" 2>&1) || fail "initiate A: $initiate_a"
initiate_b=$(client_swanctl --initiate --child "$NAME_B" 2>&1) || fail "initiate B: $initiate_b"
expect_equal "virtual IP of A from --initiate" "$("$TOOL" tunnel-info <<<"$initiate_a")" \
    $'vip=10.99.0.1\ntun=(none)'
expect_equal "virtual IP of B from --initiate" "$("$TOOL" tunnel-info <<<"$initiate_b")" \
    $'vip=10.99.0.2\ntun=(none)'

listing_a=$(client_swanctl --list-sas --ike "$NAME_A" 2>&1)
expect_equal "listing of A" "$("$TOOL" sa-listing <<<"$listing_a")" \
    $'vip=10.99.0.1\nremote=10.10.0.1\nestablished-installed=yes'
all=$(client_swanctl --list-sas 2>&1)
expect_equal "CHILD_SA of A installed" "$("$TOOL" child-installed "$NAME_A" <<<"$all")" yes
expect_equal "CHILD_SA of B installed" "$("$TOOL" child-installed "$NAME_B" <<<"$all")" yes
expect_equal "C is not up" "$("$TOOL" child-installed "$NAME_C" <<<"$all")" no
if [ -n "${TORVANE_CAPTURE_DIR:-}" ]; then
    printf '%s\n' "$initiate_a" >"$TORVANE_CAPTURE_DIR/initiate.txt"
    printf '%s\n' "$listing_a" >"$TORVANE_CAPTURE_DIR/list-sas-ike.txt"
    printf '%s\n' "$all" >"$TORVANE_CAPTURE_DIR/list-sas.txt"
fi

# --- Injection attempts --------------------------------------------------------
# Each is refused by the check with a message naming the field, and the
# staged tree stays exactly as it was.
tree_state() { (cd "$C_ROOT" && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
before=$(tree_state)
attempt() { # label, profile JSON, secrets JSON, expected message part
    printf '%s' "$2" >"$WORK/in/bad.json"
    printf '%s' "$3" >"$WORK/in/bad-secrets.json"
    local message status=0
    message=$("$TOOL" stage "$WORK/in/bad.json" "$WORK/in/bad-secrets.json" "$WORK/etc" "$C_ROOT" \
        2>&1) || status=$?
    expect_equal "$1 refused" "$status" 2
    expect_contains "$1 names the field" "$message" "$4"
}
BAD_ID='"id": "0BADC0DE-0000-4000-8000-000000000001"'
attempt "remote address with a line break" \
    "{$BAD_ID, \"authMethod\": \"psk\", \"remoteAddr\": \"10.0.0.1\\n        updown = /tmp/x\"}" \
    '{"xauthPassword": "k", "privateKeyPEM": ""}' \
    "The profile's remote address contains characters that strongSwan cannot accept: a line break"
attempt "EAP identity closing its section" \
    "{$BAD_ID, \"authMethod\": \"eapMSCHAPv2\", \"remoteAddr\": \"10.0.0.1\", \"localID\": \"u }\"}" \
    '{"xauthPassword": "k", "privateKeyPEM": ""}' \
    "The profile's local identity contains characters that strongSwan cannot accept: '}'"
attempt "XAuth user name opening a quoted string" \
    "{$BAD_ID, \"authMethod\": \"xauth\", \"remoteAddr\": \"10.0.0.1\", \"xauthID\": \"u\\\" #\"}" \
    '{"xauthPassword": "k", "privateKeyPEM": ""}' \
    "The profile's user name contains characters that strongSwan cannot accept: '\"', '#'"
attempt "pre-shared key with a line break" \
    "{$BAD_ID, \"authMethod\": \"psk\", \"remoteAddr\": \"10.0.0.1\"}" \
    '{"xauthPassword": "k\"\n}\nsecrets {", "privateKeyPEM": ""}' \
    "The password or pre-shared key contains characters that strongSwan cannot accept: a line break"
expect_equal "staged tree untouched by refused profiles" "$(tree_state)" "$before"
[ ! -e "$C_ROOT/swanctl/conf.d/0badc0de-0000-4000-8000-000000000001.conf" ] ||
    fail "a refused profile was written"

if [ "$FAILURES" -ne 0 ]; then
    echo "--- client charon log"; cat "$WORK/client-charon.log" "$WORK/client.out" || true
    echo "--- gateway charon log"; cat "$WORK/gateway-charon.log" "$WORK/gateway.out" || true
    echo "$FAILURES check(s) failed"
    exit 1
fi
echo "all strongSwan namespace checks passed"
