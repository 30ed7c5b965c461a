#!/usr/bin/env bash
# `torvanectl import` of other clients' profile files, end to end: samples an
# IT department would hand out, written at test time from the bed's PKI, are
# imported and connected with the real daemon in the bed's client namespace
# (private keyring as in torvanectl_e2e.sh), each carrying a ping to the LAN
# host. A dry run and refused files change nothing; a file full of options
# Torvane cannot carry names each with its reason; a second import of the
# same profile asks, is refused without a terminal and replaces with --replace.
#
#   import_e2e.sh HELPER TORVANECTL
set -euo pipefail
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
# shellcheck source=../tools/private_keyring.sh
source "$(dirname "$0")/../tools/private_keyring.sh"
export -f keyring_up keyring_down
bed_daemon_up "$1" "$2" dbus-daemon dbus-send gnome-keyring-daemon secret-tool python3 script
export CTL=$TC

# --- the samples ----------------------------------------------------------------
pki=$W/pki
s=$W/samples
mkdir -p "$s"
ca_b64=$(openssl x509 -in "$pki/ca.crt" -outform DER | base64 -w0)
printf 'p12-secret\n' >"$s/p12-password.txt"
# A bundle as older tools write it (RC2/3DES), and one as current ones do.
openssl pkcs12 -export -legacy -in "$pki/client-ecdsa.crt" -inkey "$pki/client-ecdsa.key" \
    -name client -passout pass:p12-secret -out "$s/ecdsa-legacy.p12"
openssl pkcs12 -export -in "$pki/client-ecdsa.crt" -inkey "$pki/client-ecdsa.key" \
    -name client -passout pass:p12-secret -out "$s/ecdsa.p12"
openssl pkcs12 -export -in "$pki/client-rsa.crt" -inkey "$pki/client-rsa.key" \
    -name client -passout pass:bundle-pw -out "$s/rsa.p12"

# The gateway identifies itself by its certificate's DN, not by the address
# the format would default to, so its administrator names it in the files.
export EAP_ID=6BA7B810-9DAD-11D1-80B4-00C04FD430C8
cat >"$s/eap.sswan" <<EOF
{"uuid":"$EAP_ID","name":"Imported EAP","type":"ikev2-eap",
 "remote":{"addr":"$BED_GW_ADDR","id":"$BED_GW_ID","cert":"$ca_b64"},
 "local":{"eap_id":"user04"},
 "split-tunneling":{"subnets":"$BED_LAN_NET"},"mtu":1400}
EOF
cat >"$s/cert.sswan" <<EOF
{"uuid":"0C6F1A52-3B1D-4C57-9B36-1E2F7A0B9C11","name":"Imported cert","type":"ikev2-cert",
 "remote":{"addr":"$BED_GW_ADDR","id":"$BED_GW_ID","cert":"$ca_b64"},
 "local":{"p12":"$(base64 -w0 "$s/ecdsa-legacy.p12")"},
 "split-tunneling":{"subnets":"$BED_LAN_NET"}}
EOF
cat >"$s/eap-tls.sswan" <<EOF
{"uuid":"5E1D2C3B-4A59-4687-8796-A5B4C3D2E1F0","name":"Imported EAP-TLS","type":"ikev2-eap-tls",
 "remote":{"addr":"$BED_GW_ADDR","id":"$BED_GW_ID","cert":"$ca_b64"},
 "local":{"p12":"$(base64 -w0 "$s/ecdsa.p12")"}}
EOF
python3 - "$s" "$pki" "$BED_GW_ADDR" "$BED_GW_PSK_ID" <<'EOF'
import plistlib, subprocess, sys
s, pki, gw, gw_id = sys.argv[1:]
der = lambda path: subprocess.run(["openssl", "x509", "-in", path, "-outform", "DER"],
                                  check=True, capture_output=True).stdout
def profile(name, uuid, payloads):
    return {"PayloadType": "Configuration", "PayloadVersion": 1, "PayloadDisplayName": name,
            "PayloadIdentifier": "test.torvane." + uuid, "PayloadUUID": uuid,
            "PayloadContent": payloads}
def vpn(name, uuid, kind, settings):
    return {"PayloadType": "com.apple.vpn.managed", "PayloadVersion": 1,
            "PayloadIdentifier": "test.torvane.vpn." + uuid, "PayloadUUID": uuid,
            "UserDefinedName": name, "VPNType": kind, kind: settings}
# IKEv2 with a per-user PSK, binary as profile managers export them.
psk = vpn("Imported PSK", "A1B2C3D4-E5F6-4A7B-8C9D-0E1F2A3B4C5D", "IKEv2", {
    "RemoteAddress": gw, "RemoteIdentifier": gw_id, "LocalIdentifier": "user05",
    "AuthenticationMethod": "SharedSecret", "SharedSecret": "psk-user05",
    "IKESecurityAssociationParameters": {"EncryptionAlgorithm": "AES-256",
        "IntegrityAlgorithm": "SHA2-256", "DiffieHellmanGroup": 14, "LifeTimeInMinutes": 480},
    "ChildSecurityAssociationParameters": {"EncryptionAlgorithm": "AES-256",
        "IntegrityAlgorithm": "SHA2-512", "DiffieHellmanGroup": 20, "LifeTimeInMinutes": 60},
    "DeadPeerDetectionRate": "Medium", "DisableMOBIKE": 0})
open(s + "/psk.mobileconfig", "wb").write(plistlib.dumps(
    profile("PSK", "11111111-2222-4333-8444-555555555555", [psk]), fmt=plistlib.FMT_BINARY))
# IKEv1 with the RSA certificate and XAuth, the bundle's password inside.
xauth = vpn("Imported XAuth", "B2C3D4E5-F6A7-4B8C-9D0E-1F2A3B4C5D6E", "IPSec", {
    "RemoteAddress": gw, "AuthenticationMethod": "Certificate",
    "PayloadCertificateUUID": "C3D4E5F6-A7B8-4C9D-8E1F-2A3B4C5D6E7F",
    "XAuthEnabled": 1, "XAuthName": "user06", "XAuthPassword": "pw-user06"})
identity = {"PayloadType": "com.apple.security.pkcs12", "PayloadVersion": 1,
            "PayloadIdentifier": "test.torvane.p12", "PayloadUUID": "C3D4E5F6-A7B8-4C9D-8E1F-2A3B4C5D6E7F",
            "PayloadContent": open(s + "/rsa.p12", "rb").read(), "Password": "bundle-pw"}
root = {"PayloadType": "com.apple.security.root", "PayloadVersion": 1,
        "PayloadIdentifier": "test.torvane.ca", "PayloadUUID": "D4E5F6A7-B8C9-4D0E-9F1A-2B3C4D5E6F70",
        "PayloadContent": der(pki + "/ca.crt")}
open(s + "/xauth.xml", "wb").write(plistlib.dumps(
    profile("XAuth", "22222222-3333-4444-8555-666666666666", [xauth, identity, root])))
# A type Torvane cannot use.
l2tp = vpn("Old L2TP", "E5F6A7B8-C9D0-4E1F-8A2B-3C4D5E6F7081", "L2TP",
           {"CommRemoteAddress": gw, "AuthName": "user07"})
open(s + "/l2tp.mobileconfig", "wb").write(plistlib.dumps(
    profile("L2TP", "33333333-4444-4555-8666-777777777777", [l2tp])))
EOF
# Two VPN payloads in one unsigned XML profile: IKEv2 EAP with the password
# in the file, and IKEv2 certificate whose bundle carries its password.
python3 - "$s" "$pki" "$BED_GW_ADDR" "$BED_GW_ID" <<'EOF'
import plistlib, subprocess, sys
s, pki, gw, gw_id = sys.argv[1:]
ca = subprocess.run(["openssl", "x509", "-in", pki + "/ca.crt", "-outform", "DER"],
                    check=True, capture_output=True).stdout
def payload(kind, uuid, **keys):
    return dict(PayloadType=kind, PayloadVersion=1, PayloadIdentifier="test.torvane." + uuid,
                PayloadUUID=uuid, **keys)
eap = payload("com.apple.vpn.managed", "F1E2D3C4-B5A6-4978-8695-A4B3C2D1E0F1",
              UserDefinedName="Imported IKEv2 EAP", VPNType="IKEv2", IKEv2={
                  "RemoteAddress": gw, "RemoteIdentifier": gw_id,
                  "AuthenticationMethod": "None", "ExtendedAuthEnabled": 1,
                  "AuthName": "user08", "AuthPassword": "pw-user08"})
cert = payload("com.apple.vpn.managed", "0A1B2C3D-4E5F-4061-8273-8495A6B7C8D9",
               UserDefinedName="Imported IKEv2 cert", VPNType="IKEv2", IKEv2={
                   "RemoteAddress": gw, "RemoteIdentifier": gw_id,
                   "AuthenticationMethod": "Certificate",
                   "PayloadCertificateUUID": "9F8E7D6C-5B4A-4392-8180-7F6E5D4C3B2A"})
bundle = payload("com.apple.security.pkcs12", "9F8E7D6C-5B4A-4392-8180-7F6E5D4C3B2A",
                 PayloadContent=open(s + "/ecdsa.p12", "rb").read(), Password="p12-secret")
root = payload("com.apple.security.root", "1A2B3C4D-5E6F-4A7B-8C9D-AEBFC0D1E2F3", PayloadContent=ca)
top = payload("Configuration", "44444444-5555-4666-8777-888888888888",
              PayloadDisplayName="Two VPNs", PayloadContent=[eap, cert, bundle, root])
open(s + "/two.mobileconfig", "wb").write(plistlib.dumps(top))
EOF
# Everything Torvane cannot carry, and files it refuses outright.
cat >"$s/unsupported.sswan" <<EOF
{"uuid":"7D8E9FA0-B1C2-4D3E-8F40-5A6B7C8D9EA1","name":"Many options","type":"ikev2-eap",
 "remote":{"addr":"$BED_GW_ADDR","port":4501,"certreq":false,
           "revocation":{"crl":false,"ocsp":true,"strict":true}},
 "local":{"eap_id":"user09","rsa-pss":true},
 "split-tunneling":{"subnets":"$BED_LAN_NET","excluded":"10.200.0.128/25","block-ipv4":true,
                    "block-ipv6":true},
 "mtu":1280,"nat-keepalive":15,"apps":["org.example.mail"],"ui":{"show-notifications":false}}
EOF
cat >"$s/byod.sswan" <<EOF
{"uuid":"8E9FA0B1-C2D3-4E4F-9051-6B7C8D9EAFB2","name":"BYOD","type":"ikev2-byod-eap",
 "remote":{"addr":"$BED_GW_ADDR"}}
EOF
printf '{"uuid":"9FA0B1C2-D3E4-4F50-8162-7C8D9EAFB0C3","name":"No gateway","type":"ikev2-eap"}\n' \
    >"$s/no-gateway.sswan"
printf '{"uuid": "9FA0B1C2-D3E4-4F50-8162-7C8D9EAFB0C3", "name": ' >"$s/truncated.sswan"
head -c 1100000 /dev/zero | tr '\0' ' ' >"$s/huge.sswan"

# Signed with a certificate the system does not trust: shown, not a refusal.
openssl cms -sign -nodetach -outform DER -binary -in "$s/xauth.xml" -signer "$pki/gw.crt" \
    -inkey "$pki/gw.key" -out "$s/xauth.mobileconfig"

inner() {
    set -u
    local passed=0 failed=0 out rc
    export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config XDG_RUNTIME_DIR=$W/home/run
    export TORVANE_HELPER_SOCKET=$S
    mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
    ctl() { "$CTL" "$@"; }
    keyring_up "$W" || exit 1
    launch

    # Connects NAME (a password file as more arguments), pings the LAN host
    # through the tunnel and disconnects; three counted checks.
    round_trip() {
        local name=$1 reply
        shift
        reply=$(ctl connect "$name" "$@" </dev/null 2>&1) || true
        check "$name connects: $reply" grep -Eq '^Connected \(10\.99\.0\.[0-9]+\)$' <<<"$reply"
        check "$name: ping through the tunnel" ping -q -c 1 -W 3 "$BED_LAN_ADDR" >/dev/null
        check "$name disconnects" test "$(ctl disconnect "$name")" = "Disconnected $name"
    }

    # A dry run reports and saves nothing.
    out=$(ctl import "$s/eap.sswan" --dry-run 2>&1)
    check "dry run: the report names the file's kind" grep -q 'strongSwan profile (.sswan)' <<<"$out"
    check "dry run: a carried field with its value" \
        grep -Eq '^ +remote\.addr +10\.10\.0\.1  → remoteAddr$' <<<"$out"
    check "dry run: a field not carried over, with the reason" \
        grep -A1 -E '^ +mtu +1400$' <<<"$out" | grep -q 'MTU'
    check "dry run: says nothing was saved" grep -q 'Nothing was saved (--dry-run)' <<<"$out"
    check "dry run: no profile" test -z "$(ctl list 2>/dev/null)"

    # A file of a type Torvane cannot use changes nothing.
    rc=0 && out=$(ctl import "$s/l2tp.mobileconfig" 2>&1) || rc=$?
    check "L2TP refused with status 1 (got $rc): $out" test "$rc" = 1
    check "…in one line" test "$(wc -l <<<"$out")" = 1
    check "…that says why: $out" grep -q 'L2TP' <<<"$out"
    check "…and nothing was added" test -z "$(ctl list 2>/dev/null)"

    # EAP-MSCHAPv2 from a .sswan; its password is not in the file.
    out=$(ctl import "$s/eap.sswan" 2>&1)
    check "EAP .sswan imported: $out" grep -q "^Imported 'Imported EAP' ($EAP_ID) at position 1" <<<"$out"
    printf 'pw-user04\n' >"$W/eap-password.txt"
    round_trip "Imported EAP" --password-file "$W/eap-password.txt"

    # Certificate with a legacy PKCS#12; the bundle's password from a file.
    rc=0 && out=$(ctl import "$s/cert.sswan" </dev/null 2>&1) || rc=$?
    check "no terminal, no password file: refused (got $rc)" test "$rc" = 1
    check "…naming the option: $out" grep -q -- '--p12-password-file' <<<"$out"
    out=$(ctl import "$s/cert.sswan" --p12-password-file "$W/eap-password.txt" 2>&1) || true
    check "a wrong password file is refused: $out" grep -q 'does not open the client certificate' <<<"$out"
    check "…and nothing was added" test "$(ctl list | wc -l)" = 2
    out=$(ctl import "$s/cert.sswan" --p12-password-file "$s/p12-password.txt" 2>&1)
    check "certificate .sswan imported" grep -q "^Imported 'Imported cert'" <<<"$out"
    check "the private key is masked in the report" \
        grep -Eq '^ +local\.p12 \(private key\) +•+  → privateKeyPEM$' <<<"$out"
    check "the key went to the keyring" bash -c 'secret-tool lookup service \
        kv.kelvor.torvane.secrets account 0C6F1A52-3B1D-4C57-9B36-1E2F7A0B9C11 | grep -q "BEGIN PRIVATE KEY"'
    round_trip "Imported cert"

    out=$(ctl import "$s/eap-tls.sswan" --p12-password-file "$s/p12-password.txt" 2>&1)
    check "EAP-TLS .sswan imported" grep -q "^Imported 'Imported EAP-TLS'" <<<"$out"
    round_trip "Imported EAP-TLS"

    # IKEv2 PSK from a binary configuration profile.
    out=$(ctl import "$s/psk.mobileconfig" 2>&1)
    check "PSK .mobileconfig imported" grep -q "^Imported 'Imported PSK'" <<<"$out"
    check "…reported as not signed" grep -q '^Signature: not signed$' <<<"$out"
    check "…the proposal mapped" grep -q 'aes256-sha256-modp2048  → ikeProposals' <<<"$out"
    check "…the PSK never printed" fails grep -q 'psk-user05' <<<"$out"
    round_trip "Imported PSK"

    # IKEv1 certificate + XAuth from a signed configuration profile.
    out=$(ctl import "$s/xauth.mobileconfig" 2>&1)
    check "signed .mobileconfig imported" grep -q "^Imported 'Imported XAuth'" <<<"$out"
    check "…the signer shown, not trusted" \
        grep -q '^Signature: signed by .*gw.torvane.test.*, not trusted$' <<<"$out"
    check "…the XAuth password never printed" fails grep -q 'pw-user06' <<<"$out"
    round_trip "Imported XAuth"

    # Two profiles from one XML configuration profile; both connect.
    out=$(ctl import "$s/two.mobileconfig" 2>&1)
    check "two profiles from one file: $out" grep -q "^Imported 'Imported IKEv2 EAP'" <<<"$out"
    check "…the second one too" grep -q "^Imported 'Imported IKEv2 cert'" <<<"$out"
    check "…the EAP password never printed" fails grep -q 'pw-user08' <<<"$out"
    round_trip "Imported IKEv2 EAP"
    round_trip "Imported IKEv2 cert"

    # A file full of options Torvane cannot carry: each is named with a reason.
    out=$(ctl import "$s/unsupported.sswan" --dry-run 2>&1)
    echo "--- report of $s/unsupported.sswan:"
    echo "$out"
    for field in remote.port remote.certreq remote.revocation.ocsp local.rsa-pss \
        split-tunneling.excluded split-tunneling.block-ipv4 mtu nat-keepalive apps; do
        check "not carried over: $field" grep -Eq "^ +${field//./\\.}( |$)" \
            <<<"$(sed -n '/Not carried over/,$p' <<<"$out")"
    done
    check "…block-ipv6 is carried" grep -q 'split-tunneling.block-ipv6 .*→ preventIPv6Leak' <<<"$out"

    # Refused files: one line each, status 1, nothing added.
    local before
    before=$(ctl list)
    for bad in byod no-gateway truncated huge; do
        rc=0 && out=$(ctl import "$s/$bad.sswan" 2>&1) || rc=$?
        echo "--- $bad.sswan: $out"
        check "$bad.sswan refused in one line (status $rc): $out" \
            test "$rc" = 1 -a "$(wc -l <<<"$out")" = 1
    done
    check "…and the refused files added nothing" test "$(ctl list)" = "$before"

    # The same id again: refused without a terminal, asked on one, replaced
    # with --replace; the profile keeps its place and the list its length.
    sed 's/"Imported EAP"/"Renamed EAP"/' "$s/eap.sswan" >"$s/eap-renamed.sswan"
    rc=0 && out=$(ctl import "$s/eap-renamed.sswan" </dev/null 2>&1) || rc=$?
    check "same id without a terminal: refused (got $rc)" test "$rc" = 1
    check "…saying how to replace: $out" grep -q 'give --replace to replace it' <<<"$out"
    check "…and the profile is unchanged" grep -q '^1 *Imported EAP ' <<<"$(ctl list)"
    out=$(printf 'n\n' | script -qec "'$CTL' import '$s/eap-renamed.sswan'" /dev/null 2>&1) || true
    check "on a terminal it asks: $out" grep -q "Replace the profile 'Imported EAP' ($EAP_ID)" <<<"$out"
    check "…and a no keeps it" grep -q '^1 *Imported EAP ' <<<"$(ctl list)"
    out=$(ctl import "$s/eap-renamed.sswan" --replace </dev/null 2>&1)
    check "--replace replaces: $out" grep -q "^Replaced 'Imported EAP' ($EAP_ID) with 'Renamed EAP'" <<<"$out"
    check "…in place, nothing added" grep -Pzq '\n1 +Renamed EAP [^\n]*\n2 +Imported cert ' <<<"$(ctl list)"
    check "seven profiles" test "$(ctl list | wc -l)" = 8
    round_trip "Renamed EAP" --password-file "$W/eap-password.txt"

    daemon_stop
    keyring_down
    daemon_summary import_e2e
}
export -f inner
export s
bed_client_private bash -c inner
