#!/usr/bin/env bash
# Proves the test bed with Debian's strongSwan as the client, not Torvane's
# daemon: for every authentication method the client's files are those the
# daemon stages for that profile (written by strongswan_stage_tool with the
# daemon's renderer), its strongswan.conf includes the project's base file as
# the daemon's does, the tunnel must come up with a virtual IP and carry a
# ping to the LAN host, and that ping must fail without a tunnel. A wrong
# pre-shared key must be refused, and twenty clients with their own
# identities must be up at once. Every profile file the bed writes is also
# decoded with Torvane's own record decoders.
#
# Usage: bed_selftest.sh TESTCLIENT STAGE_TOOL
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
testclient=$1
stage_tool=$2
# shellcheck source=testbed.sh
source "$here/testbed.sh"
bed_require_root
trap bed_down EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

started=$SECONDS
bed_up
echo "bed up in $((SECONDS - started)) s: $BED_NS_CLIENT, $BED_NS_GW, $BED_NS_LAN, $BED_WORK"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# --- the bed itself -------------------------------------------------------
bed_client_exec ping -c 1 -W 2 "$BED_GW_ADDR" >/dev/null || fail "client cannot reach the gateway"
bed_gateway_exec ping -c 1 -W 2 "$BED_LAN_ADDR" >/dev/null || fail "gateway cannot reach the LAN host"
if bed_client_exec ping -c 1 -W 1 "$BED_LAN_ADDR" >/dev/null; then
    fail "the gateway forwards the client's plain traffic to the LAN"
fi
[ "$(bed_client_exec cat /etc/resolv.conf)" = "nameserver 10.10.0.1" ] ||
    fail "the client namespace has the wrong resolv.conf"

for f in "$BED_WORK"/profiles/*.profile.json; do
    out=$("$testclient" check-profile "$f" "${f%.profile.json}.secrets.json") ||
        fail "$(basename "$f") does not decode: $out"
done

# --- the client's configuration, as the daemon writes it ------------------
# Stages one profile's files into DIR with the daemon's own renderer and
# notes the tunnel's strongSwan name and whether it must come up.
stage_case() {
    local profile=$1 dir=$2 expect=$3
    local name
    name=$("$stage_tool" stage "$BED_WORK/profiles/$profile.profile.json" \
        "$BED_WORK/profiles/$profile.secrets.json" "$base_dir" "$dir") ||
        fail "the daemon's renderer refused $profile"
    printf '%s\n' "$name" >"$dir/name"
    printf '%s\n' "$expect" >"$dir/expect"
}

# name, method, what must happen, profile overrides
cases=(
    "xauth xauth up"
    "certificate certificate up encap=false"
    "certificate-ikev1 certificate up ikeVersion=1"
    "eapMSCHAPv2 eapMSCHAPv2 up"
    "eapTLS eapTLS up"
    "psk psk up"
    "pskMutual pskMutual up"
    "pskMutual-gwid pskMutual up remoteID=$BED_GW_PSK_ID user=user02"
    "pskMutual-ikev1 pskMutual up ikeVersion=1 remoteID=$BED_GW_PSK_ID"
    "psk-wrong psk refused xauthPassword=not-the-psk"
    "certificate-ikev1-pkcs1 certificate up ikeVersion=1"
    "eapTLS-sec1 eapTLS up"
)
# Keys in the other PEM forms a user may paste: PKCS#1 RSA and SEC1 EC.
openssl rsa -in "$BED_WORK/pki/client-rsa.key" -traditional -out "$BED_WORK/pki/client-rsa.pkcs1.key" 2>/dev/null
openssl ec -in "$BED_WORK/pki/client-ecdsa.key" -out "$BED_WORK/pki/client-ecdsa.sec1.key" 2>/dev/null
base_dir=$here/../../resources/strongswan
mkdir -p "$BED_WORK/cases" "$BED_WORK/scale"
n=0
for c in "${cases[@]}"; do
    read -r -a words <<<"$c"
    args=("${words[@]:3}")
    case ${words[0]} in
    certificate-ikev1*) args+=("clientCertPEM=$(<"$BED_WORK/pki/client-rsa.crt")") ;;&
    certificate-ikev1) args+=("privateKeyPEM=$(<"$BED_WORK/pki/client-rsa.key")") ;;
    *-pkcs1) args+=("privateKeyPEM=$(<"$BED_WORK/pki/client-rsa.pkcs1.key")") ;;
    *-sec1) args+=("privateKeyPEM=$(<"$BED_WORK/pki/client-ecdsa.sec1.key")") ;;
    esac
    bed_make_profile "selftest-${words[0]}" "${words[1]}" "${args[@]}" >/dev/null
    n=$((n + 1))
    stage_case "selftest-${words[0]}" "$BED_WORK/cases/$(printf '%02d' $n)-${words[0]}" "${words[2]}"
done

# Twenty clients at once, each with its own identity and PSK, as a scale
# test of the daemon will bring them up.
for ((i = 1; i <= 20; i++)); do
    user=$(printf 'user%02d' "$i")
    bed_make_profile "selftest-scale-$user" psk user="$user" >/dev/null
    stage_case "selftest-scale-$user" "$BED_WORK/scale/$user" up
done

# The client's strongswan.conf is the daemon's: its generated part includes
# the project's base file.
stage=$BED_WORK/client
mkdir -p "$stage/swanctl"
for d in x509 x509ca x509aa x509ac x509crl x509ocsp private rsa ecdsa pkcs8 pkcs12 pubkey conf.d; do
    mkdir -p "$stage/swanctl/$d"
done
printf 'include conf.d/*.conf\n' >"$stage/swanctl/swanctl.conf"
printf '%s' "include $base_dir/strongswan.conf
charon {
    install_routes = no
    plugins {
        vici {
            socket = unix://$stage/charon.vici
        }
        resolve {
            load = no
        }
    }
}" >"$stage/strongswan.conf"

# --- the client's side, in its own PID namespace ---------------------------
client_main() {
    set -euo pipefail
    local stage=$BED_WORK/client
    local uri=unix://$stage/charon.vici
    export STRONGSWAN_CONF=$stage/strongswan.conf SWANCTL_DIR=$stage/swanctl
    say() { printf '%s\n' "$*"; }
    flunk() {
        printf 'FAIL: %s\n' "$*" >&2
        tail -n 30 "$stage/charon.out" >&2 || true
        exit 1
    }
    sw() { swanctl "$@" --uri "$uri"; }

    "$BED_CHARON" >"$stage/charon.out" 2>&1 &
    local charon=$!
    bed_wait_for_socket "$stage/charon.vici" 10 || flunk "the client's charon did not start"
    [ "$(pgrep -c -x charon)" = 1 ] || flunk "the PID namespace sees another charon"

    local dir name expect uuid out vip tunnels=0
    for dir in "$BED_WORK"/cases/*/; do
        name=$(<"$dir/name")
        expect=$(<"$dir/expect")
        uuid=${name#ov-}
        cp -r "$dir/swanctl/." "$stage/swanctl/"
        out=$(sw --load-creds 2>&1) || flunk "$dir: --load-creds failed: $out"
        out=$(sw --load-conns 2>&1) || flunk "$dir: --load-conns failed: $out"

        local status=0
        out=$(timeout 25 swanctl --initiate --child "$name" --uri "$uri" 2>&1) || status=$?
        if [ "$expect" = refused ]; then
            [ $status -ne 0 ] || flunk "$dir: a wrong PSK was accepted"
            [ -z "$(sw --list-sas --ike "$name")" ] || flunk "$dir: an SA exists after refusal"
            say "ok   $(basename "$dir"): refused (swanctl exit $status)"
        else
            [ $status -eq 0 ] || flunk "$dir: --initiate failed ($status): $out"
            vip=$(printf '%s\n' "$out" | awk '/installing new virtual IP/ {v=$NF} END {print v}')
            [[ $vip == 10.99.0.* ]] || flunk "$dir: no virtual IP from the pool: $out"
            local sas
            sas=$(sw --list-sas --ike "$name")
            grep -q ESTABLISHED <<<"$sas" && grep -q INSTALLED <<<"$sas" ||
                flunk "$dir: SA not established and installed: $sas"
            grep -Eq "^  local .* @ $BED_CLIENT_ADDR\[[0-9]+\] \[$vip\]" <<<"$sas" ||
                flunk "$dir: the local line does not show the VIP: $sas"
            grep -Eq "^  remote .* @ $BED_GW_ADDR\[[0-9]+\]" <<<"$sas" ||
                flunk "$dir: the remote line does not show the gateway: $sas"
            ip route add "$BED_LAN_NET" dev ipsec0 src "$vip"
            ping -c 1 -W 3 "$BED_LAN_ADDR" >/dev/null || flunk "$dir: no ping through the tunnel"
            # The gateway forwards only traffic from the pool that came out
            # of its ESP, so this answer proves the path.
            sas=$(sw --list-sas --ike "$name")
            grep -Eq '^ +in  .*, +[1-9][0-9]* packets' <<<"$sas" ||
                flunk "$dir: the CHILD SA counted no inbound packets: $sas"
            sw --terminate --ike "$name" >/dev/null || flunk "$dir: --terminate failed"
            ip route del "$BED_LAN_NET" dev ipsec0 2>/dev/null || true
            tunnels=$((tunnels + 1))
            say "ok   $(basename "$dir"): $vip, ping through the tunnel"
        fi
        rm -f "$stage/swanctl"/*/*"$uuid"*
        sw --load-creds --clear >/dev/null 2>&1
        sw --load-conns >/dev/null 2>&1
    done
    local vips=() names=()
    for dir in "$BED_WORK"/scale/*/; do
        names+=("$(<"$dir/name")")
        cp -r "$dir/swanctl/." "$stage/swanctl/"
    done
    sw --load-creds >/dev/null 2>&1 || flunk "scale: --load-creds failed"
    sw --load-conns >/dev/null 2>&1 || flunk "scale: --load-conns failed"
    for name in "${names[@]}"; do
        out=$(timeout 25 swanctl --initiate --child "$name" --uri "$uri" 2>&1) ||
            flunk "scale: $name did not come up: $out"
        vips+=("$(printf '%s\n' "$out" | awk '/installing new virtual IP/ {v=$NF} END {print v}')")
    done
    [ "$(printf '%s\n' "${vips[@]}" | grep -c '^10\.99\.0\.')" = 20 ] &&
        [ "$(printf '%s\n' "${vips[@]}" | sort -u | wc -l)" = 20 ] ||
        flunk "scale: expected 20 distinct pool addresses, got ${vips[*]}"
    [ "$(sw --list-sas | grep -c 'INSTALLED')" = 20 ] || flunk "scale: not 20 CHILD SAs installed"
    ip route add "$BED_LAN_NET" dev ipsec0 src "${vips[0]}"
    for vip in "${vips[@]}"; do
        ping -c 1 -W 3 -I "$vip" "$BED_LAN_ADDR" >/dev/null || flunk "scale: no ping from $vip"
    done
    for name in "${names[@]}"; do sw --terminate --ike "$name" >/dev/null; done
    ip route del "$BED_LAN_NET" dev ipsec0 2>/dev/null || true
    say "ok   20 simultaneous clients with distinct identities and virtual IPs"

    if ping -c 1 -W 1 "$BED_LAN_ADDR" >/dev/null; then
        flunk "the LAN host answers without a tunnel"
    fi
    say "ok   no tunnel: the LAN host does not answer"
    kill -TERM "$charon"
    wait "$charon" || true
    say "$tunnels tunnels up and torn down"
}
export -f client_main
bed_client_private bash -c client_main
echo "selftest passed in $((SECONDS - started)) s"
