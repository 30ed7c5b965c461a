#!/usr/bin/env bash
# `torvanectl managed check` as an administrator's pipeline runs it, on a
# directory with one good profile, one malformed file and one owned by
# another user: each file's verdict, the one resulting profile (no secret
# printed) and exit status 1. Needs root to make the root-owned files;
# exits 77 (skipped) without it.
#
#   managed_check.sh TORVANECTL [OUTPUT_COPY]
set -euo pipefail
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
[ "$(id -u)" = 0 ] || { echo "needs root"; exit 77; }
ctl=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
export HOME=$dir/home XDG_CONFIG_HOME=$dir/home/.config
chmod 755 "$dir"
mkdir -m 755 "$dir/profiles.d"
mkdir -m 700 "$dir/secrets.d" "$dir/home"
id=2C4E6A80-1B3D-4F5A-9C7E-0D2F4B6A8C1E
printf '{"id":"%s","name":"Head Office","authMethod":"psk","remoteAddr":"vpn.example.com","alwaysOn":true}\n' \
    "$id" >"$dir/profiles.d/10-office.json"
printf '{"xauthPassword":"NOT-TO-BE-PRINTED","privateKeyPEM":""}\n' >"$dir/secrets.d/$id.json"
chmod 600 "$dir/secrets.d/$id.json"
printf '{"id": "%s", "name": \n' "$id" >"$dir/profiles.d/20-broken.json"
printf '{"id":"9A8B7C6D-5E4F-4A3B-8C2D-1E0F9A8B7C6D","authMethod":"psk","remoteAddr":"b.example.com"}\n' \
    >"$dir/profiles.d/30-someone.json"
chown 65534:65534 "$dir/profiles.d/30-someone.json"
chmod 644 "$dir/profiles.d/"*.json

rc=0
out=$("$ctl" managed check "$dir") || rc=$?
printf '%s\n' "$out"
[ -z "${2:-}" ] || printf '%s\n' "$out" >"$2"

failed=0
expect() {
    if grep -qF -- "$1" <<<"$out"; then echo "ok: $1"; else echo "MISSING: $1"; failed=1; fi
}
expect "profiles.d/10-office.json: accepted: 1 profile (Head Office)"
expect "secrets.d/$id.json: accepted"
expect "profiles.d/20-broken.json: refused: not valid JSON"
expect "profiles.d/30-someone.json: ignored: owned by uid 65534, not root"
expect "1. Head Office  $id"
expect "type psk, gateway vpn.example.com, from profiles.d/10-office.json"
expect "alwaysOn: yes, lockdown: no, userMayDisconnect: yes"
expect "secrets: from secrets.d"
if grep -q "NOT-TO-BE-PRINTED\|9A8B7C6D" <<<"$out"; then
    echo "FAIL: a secret or an ignored file's profile was printed"
    failed=1
fi
[ "$rc" = 1 ] || { echo "FAIL: exit status $rc, expected 1"; failed=1; }
exit $failed
