#!/usr/bin/env bash
# The daemon end to end: torvane-helper in the client namespace of the test
# bed (private /run, own PID namespace) brings up real tunnels to the bed's
# strongSwan gateway through its socket: every authentication method, the
# IKEv1 and key forms a user may paste, and identities and keys that need
# escapes in the files it stages (the gateway's copies of those keys are
# given in hex, so a tunnel proves the staged key decodes to the same bytes).
# Its charon loads the planned plugins and none that would touch DNS or run
# scripts. Values that would change the staged files' structure are refused
# before anything is written; nothing is left behind when tunnels go, even
# when SIGTERM cuts a start short.
#
#   helper_e2e.sh HELPER TESTCLIENT
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
bed_daemon_up "$1" "$2"

# Every method with its own identity, so the gateway keeps their SAs apart.
methods=(psk pskMutual eapMSCHAPv2 eapTLS certificate xauth)
n=2
for m in "${methods[@]}"; do
    bed_make_profile "e2e-$m" "$m" "user=user0$n" "name=E2E $m" >/dev/null
    n=$((n + 1))
done
# The key forms a user may paste besides the bed's PKCS#8 (PKCS#1 RSA, SEC1
# EC), and IKEv1 with a certificate and with a group PSK.
pki=$BED_WORK/pki
openssl rsa -in "$pki/client-rsa.key" -traditional -out "$pki/client-rsa.pkcs1.key" 2>/dev/null
openssl ec -in "$pki/client-ecdsa.key" -out "$pki/client-ecdsa.sec1.key" 2>/dev/null
v1=(ikeVersion=1 clientCertPEM="$(<"$pki/client-rsa.crt")")
bed_make_profile e2e-cert-v1 certificate "${v1[@]}" privateKeyPEM="$(<"$pki/client-rsa.key")" \
    "name=E2E cert-v1" >/dev/null
bed_make_profile e2e-cert-v1-pkcs1 certificate "${v1[@]}" \
    privateKeyPEM="$(<"$pki/client-rsa.pkcs1.key")" "name=E2E cert-v1-pkcs1" >/dev/null
bed_make_profile e2e-eapTLS-sec1 eapTLS privateKeyPEM="$(<"$pki/client-ecdsa.sec1.key")" \
    "name=E2E eapTLS-sec1" >/dev/null
bed_make_profile e2e-pskMutual-v1 pskMutual ikeVersion=1 remoteID="$BED_GW_PSK_ID" \
    "name=E2E pskMutual-v1" >/dev/null
# A: an identity with quote, backslash and surrounding blanks, a key with
# quote, backslash and '#'. B: a key swanctl would otherwise read as hex,
# proposal lists with blanks after the commas, a network only B's gateway
# connection offers.
bed_make_profile e2e-escapes-a pskMutual "name=E2E escapes-a" localID=$' \tclient"1\\x ' \
    remoteID=gw encap=false xauthPassword='pa"ss\word #1' >/dev/null
bed_make_profile e2e-escapes-b pskMutual "name=E2E escapes-b" localID=client2 remoteID=gw \
    encap=false remoteTS=10.201.0.0/24 xauthPassword=0xfeed \
    ikeProposals="aes256-sha512-ecp384, aes128-sha256-modp2048" \
    espProposals="aes256-sha512-ecp384, aes128-sha256-modp2048" >/dev/null
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }
bed_gateway_exec ip addr add 10.201.0.1/24 dev lo
escape_conn() { # NAME CLIENT-ID TS
    printf '%s {\nlocal_addrs = %s\npools = bed-pool\nlocal {\nauth = psk\nid = gw\n}\nremote {\nauth = psk\nid = %s\n}\nchildren {\n%s {\nlocal_ts = %s\n}\n}\n}\n' \
        "$1" "$BED_GW_ADDR" "$2" "$1" "$3"
}
{
    echo "connections {"
    escape_conn gw-a '"client\"1\\x"' 10.200.0.0/24
    escape_conn gw-b client2 10.201.0.0/24
    echo "}"
    echo "secrets {"
    printf 'ike-a {\nid-gw = gw\nid-client = "client\\"1\\\\x"\nsecret = 0x%s\n}\n' "$(hex 'pa"ss\word #1')"
    printf 'ike-b {\nid-gw = gw\nid-client = client2\nsecret = 0x%s\n}\n}\n' "$(hex 0xfeed)"
} >"$BED_WORK/gw/swanctl/conf.d/escapes.conf"
bed_gw_swanctl --load-all --noprompt >"$BED_WORK/gw/escapes.out" 2>&1 ||
    bed_fail "gateway: $(cat "$BED_WORK/gw/escapes.out")"
methods+=(cert-v1 cert-v1-pkcs1 eapTLS-sec1 pskMutual-v1 escapes-a escapes-b)

bed_make_profile e2e-second pskMutual user=user09 "name=Second" >/dev/null
bed_make_profile psk-wrong psk xauthPassword=not-the-psk >/dev/null
bed_make_profile full psk user=user08 name=Full remoteTS=0.0.0.0/0 \
    dnsServers="$BED_LAN_ADDR" killSwitchEnabled=true >/dev/null
# Never answered; its names are only loaded: a Windows-style user name with a
# backslash and '=' is carried unquoted, a remote identity with braces and
# '#' quoted.
bed_make_profile unreachable eapMSCHAPv2 name=Unreachable remoteAddr=10.10.0.77 \
    xauthID='CORP\user=1' remoteID='CN={gw} #1' requestVIP=false xauthPassword='\"' >/dev/null
# Values that would change the structure of the staged files.
bed_make_profile bad-addr psk remoteAddr=$'10.0.0.1\n        updown = /tmp/x' >/dev/null
bed_make_profile bad-eap eapMSCHAPv2 localID='u }' >/dev/null
bed_make_profile bad-xauth xauth xauthID='u" #' >/dev/null
bed_make_profile bad-psk psk xauthPassword=$'k"\n}\nsecrets {' >/dev/null
untrusted=$BED_WORK/untrusted-client
cp "$TC" "$untrusted"
export untrusted methods_list="${methods[*]}"

inner() {
    set -u
    local passed=0 failed=0 methods
    read -r -a methods <<<"$methods_list"
    no_staging() { [ ! -e /run/torvane/run ]; }
    sas() { timeout 20 swanctl "$@" --uri unix:///run/torvane/run/charon.vici 2>/dev/null; }
    installed() { sas --list-sas | grep -q INSTALLED; }
    lower_id() { id_of "$1" | tr '[:upper:]' '[:lower:]'; }
    machine_snapshot >"$W/base"
    launch
    T subscribe --seconds 600 >"$W/callbacks.log" 2>&1 &
    local subscriber=$!

    check "version" test "$(T version)" = "reply version 0.1.1"

    # Every method and form on its own: connected, with its virtual IP on
    # ipsec0 and its CHILD SA installed; stopping it as the last tunnel
    # tears down.
    local m reply status
    for m in "${methods[@]}"; do
        reply=$(start_profile "e2e-$m")
        check "$m connects: $reply" grep -Eq '^reply start 0 Connected \(10\.99\.0\.[0-9]+\)$' <<<"$reply"
        status=$(T status)
        check "$m shows connected on ipsec0" grep -q '"state":"connected","tunDevice":"ipsec0"' <<<"$status"
        check "$m INSTALLED" installed
        if [ "$m" = escapes-a ]; then
            check "A's strongSwan name and its identity unescaped and trimmed" bash -c \
                'grep -q "ov-$0 {" <<<"$1" && grep -qF "id=client\"1\\x " <<<"$1"' \
                "$(lower_id e2e-escapes-a)" "$(sas --list-conns --raw)"
            check "A's key was loaded" logged "loaded ike secret 'ike-$(lower_id e2e-escapes-a)'"
            check "routing rule of userspace ESP after the main table" bash -c 'ip rule show | grep -q "^32800:"'
        fi
        check "$m stops" test "$(T stop "$(id_of "e2e-$m")")" = "reply stop 0 Disconnected E2E $m"
        check "$m: no charon after the last stop" fails pgrep -x charon
        check "$m: no staging tree after the last stop" no_staging
    done
    check "B's key was loaded" logged "loaded ike secret 'ike-$(lower_id e2e-escapes-b)'"
    check "no plugin noise in what swanctl prints" fails logged "failed to load"
    check "charon stops through its own SIGTERM handling" \
        grep -q 'callback logLine .*SIGTERM received, shutting down' "$W/callbacks.log"
    local plugins plugin
    plugins=$(sed -n 's/.*loaded plugins: //p' "$W/callbacks.log" | head -n 1)
    for plugin in nonce openssl kdf pem pkcs1 pkcs8 x509 pubkey revocation constraints \
        kernel-libipsec kernel-netlink socket-default vici attr eap-identity eap-mschapv2 eap-tls \
        xauth-generic; do
        check "plugin $plugin loaded" grep -qF " $plugin " <<<" $plugins "
    done
    # The first kernel-ipsec backend wins: userspace ESP must come first.
    check "kernel-libipsec loaded before kernel-netlink" grep -q 'kernel-libipsec.*kernel-netlink' <<<"$plugins"
    for plugin in resolve stroke updown; do
        check "plugin $plugin not loaded" fails grep -qF " $plugin " <<<" $plugins "
    done

    # Two tunnels share one charon; stopping one keeps the other.
    start_profile e2e-psk >/dev/null
    start_profile e2e-second >/dev/null
    check "one charon for two tunnels" test "$(pgrep -xc charon)" = 1
    T stop "$(id_of e2e-psk)" >/dev/null
    status=$(T status)
    check "the other tunnel stays" grep -q '"profileName":"Second","state":"connected"' <<<"$status"
    check "its SA stays" installed

    # Each refused with a message naming the field; the staged tree stays
    # exactly as it was.
    tree_state() { (cd /run/torvane/run && find . -type f -print0 | sort -z | xargs -0 sha256sum); }
    local before bad message
    before=$(tree_state)
    while IFS='|' read -r bad message; do
        reply=$(start_profile "bad-$bad")
        check "$bad refused, naming the field: $reply" grep -qF "reply start 1 $message" <<<"$reply"
    done <<'EOF'
addr|The profile's remote address contains characters that strongSwan cannot accept: a line break
eap|The profile's local identity contains characters that strongSwan cannot accept: '}'
xauth|The profile's user name contains characters that strongSwan cannot accept: '"', '#'
psk|The password or pre-shared key contains characters that strongSwan cannot accept: a line break
EOF
    check "staged tree untouched by refused profiles" test "$(tree_state)" = "$before"

    # A wrong key fails with the exit status, listed after the live tunnels.
    reply=$(start_profile psk-wrong)
    check "wrong PSK: $reply" grep -Eq '^reply start 1 Tunnel did not establish \(check credentials / gateway\)\. swanctl exit [0-9]+$' <<<"$reply"
    status=$(T status)
    check "error entry after the live tunnel" grep -Eq '"profileName":"Second","state":"connected".*"state":"error"' <<<"$status"

    # A charon that died is noticed and relaunched.
    kill -9 "$(pgrep -x charon)"
    sleep 0.5
    reply=$(start_profile e2e-psk)
    check "start after charon was killed: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "relaunch logged" grep -q 'callback logLine tracked charon is not running — relaunching' "$W/callbacks.log"

    check "stop-all" test "$(T stop-all)" = "reply stop-all 0 Disconnected"
    check "stop-all: no charon" fails pgrep -x charon
    check "stop-all: no staging tree" no_staging

    start_profile e2e-psk >/dev/null
    check "force-kill" test "$(T force-kill)" = "reply force-kill 0 Force-killed all VPN processes and restored networking"
    check "force-kill: no charon" fails pgrep -x charon
    check "force-kill: no staging tree" no_staging

    # A status request is answered while the engine waits on an initiation
    # towards a gateway that never answers; the names it loaded meanwhile.
    start_profile unreachable >"$W/unreachable.out" &
    local starter=$!
    sleep 2
    local t0
    t0=$(date +%s%N)
    status=$(T status)
    echo "status answered in $((($(date +%s%N) - t0) / 1000000)) ms while the engine was busy"
    check "status during a blocked initiation" grep -q '"profileName":"Unreachable","state":"connecting"' <<<"$status"
    local conns
    conns=$(sas --list-conns --raw)
    check "the EAP user name is carried unquoted" grep -qF 'eap_id=CORP\user=1 ' <<<"$conns"
    check "the remote identity is unescaped" grep -qF 'id=CN={gw} #1 ' <<<"$conns"
    check "its EAP secret was loaded" logged "loaded eap secret 'eap-$(lower_id unreachable)'"
    wait "$starter" || true
    check "unreachable gateway fails: $(cat "$W/unreachable.out")" grep -q '^reply start 1 Tunnel did not establish' "$W/unreachable.out"

    # The channel: an untrusted program is refused; a malformed line closes
    # only its own connection.
    check "untrusted client refused" bash -c '! "$untrusted" --socket "$0" version >/dev/null 2>&1' "$S"
    check "malformed line closes the connection" bash -c '"$TC" --socket "$0" raw "not json" 2>&1 | grep -q closed' "$S"
    check "the daemon still answers" test "$(T version)" = "reply version 0.1.1"
    kill "$subscriber" 2>/dev/null || true

    # SIGTERM while busy: a full tunnel up (routes, DNS, kill switch) and a
    # second start hanging in its initiation. SIGTERM cuts that start short
    # instead of waiting out the initiation's 20 s, answers it, and the
    # teardown leaves the namespace exactly as before the daemon ran.
    check "the full tunnel connects" grep -q '^reply start 0 Connected' <<<"$(start_profile full)"
    # Its connection loaded (once more than before) means it is initiating:
    # nothing else follows the load in a start.
    local loaded="loaded connection 'ov-$(lower_id unreachable)'" loads
    loads=$(grep -cF -- "$loaded" "$W/helper.out" || true)
    start_profile unreachable >"$W/silent.out" 2>&1 &
    starter=$!
    check "the second start waits in its initiation" eventually 10 \
        bash -c '[ "$(grep -cF -- "$0" "$1")" -gt "$2" ]' "$loaded" "$W/helper.out" "$loads"
    sleep 1
    t0=$(date +%s%N)
    kill -TERM "$hp"
    local code=0
    wait "$hp" || code=$?
    echo "the daemon exited $((($(date +%s%N) - t0) / 1000000)) ms after SIGTERM"
    wait "$starter" || true
    check "SIGTERM exit status 0 (got $code)" test "$code" = 0
    check "the start is answered as cancelled: $(cat "$W/silent.out")" \
        grep -qx 'reply start 1 Cancelled: the helper is stopping' "$W/silent.out"
    check "the cancellation is logged" logged "start of 'Unreachable' cancelled — the helper is stopping"
    check "SIGTERM: no charon" fails pgrep -x charon
    check "SIGTERM: no swanctl" fails pgrep -x swanctl
    check "SIGTERM: no staging tree" no_staging
    restored "SIGTERM during a start" "$W/base"

    # terminateWithReply: replies, then the daemon goes the same way.
    launch
    start_profile e2e-psk >/dev/null
    check "terminate replies" test "$(T terminate)" = "reply terminate"
    code=0
    wait "$hp" || code=$?
    check "terminate: exit status 0 (got $code)" test "$code" = 0
    check "terminate: no charon" fails pgrep -x charon

    daemon_summary helper_e2e
}
export -f inner
bed_client_private bash -c inner
