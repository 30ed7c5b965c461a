#!/usr/bin/env bash
# Managed profiles end to end: the daemon starts with a root-owned config dir
# holding an always-on lockdown PSK profile and its secrets.d file, no client,
# and the gateway's charon down. Lockdown blocks everything but IKE to the
# gateway until the gateway comes up; then the tunnel comes up by itself,
# heals after the gateway's charon is killed and started again (blocked
# meanwhile), and survives an unprivileged client's stop (refused, naming the
# profile) and stop-all, and a root stop-all that takes only a client's own
# tunnel. A root stop takes it down with lockdown holding; a file added to
# profiles.d is read without SIGHUP and brings it back; so does a root
# force-kill; a terminate is declined. Removing the file and reloading
# (SIGHUP) stops it and leaves the namespace exactly as before the daemon
# started. Nothing leaves the client outside the tunnel meanwhile but IKE/ESP
# to the gateway.
#
#   managed_e2e.sh HELPER TESTCLIENT
set -euo pipefail
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=testbed.sh
source "$here/testbed.sh"
: "${BED_PREFIX:=tvm-$$}"
bed_daemon_up "$1" "$2" setpriv

bed_make_profile office psk user=user11 "name=Head Office" keepaliveIP="$BED_LAN_ADDR" \
    keepaliveInterval=2 >/dev/null
bed_make_profile mine psk user=user12 name=Mine >/dev/null

inner() {
    set -u
    local passed=0 failed=0 out hp id cfg
    id=$(id_of office)
    cfg=$W/etc
    mkdir -m 755 "$cfg" "$cfg/profiles.d"
    mkdir -m 700 "$cfg/secrets.d"
    sed 's/}$/,"alwaysOn":true,"lockdown":true}/' "$P/office.profile.json" >"$cfg/profiles.d/10-office.json"
    chmod 644 "$cfg/profiles.d/10-office.json"
    install -m 600 "$P/office.secrets.json" "$cfg/secrets.d/$id.json"
    printf '{"id": \n' >"$cfg/profiles.d/20-broken.json"

    state_of() { T status | sed "s/^status //" | jq -r --arg id "$1" '.tunnels[]? | select(.profileID == $id) | .state'; }
    office_is() { [ "$(state_of "$id")" = "$1" ]; }
    office_down() { ! office_is connected; }
    office_gone() { [ -z "$(state_of "$id")" ]; }
    exited() { ! kill -0 "$hp" 2>/dev/null; }
    holding() { T status | grep -q '"killSwitchHolding":true'; }
    nobody() { setpriv --reuid=65534 --regid=65534 --clear-groups "$TC" --socket "$S" "$@"; }

    eventually 15 machine_settled || true
    machine_snapshot >"$W/baseline"
    leak_counter_add "$p-c" "$BED_GW_ADDR"
    outside bed_gateway_kill
    launch --config-dir "$cfg"
    check "lockdown holds at start, the gateway down" eventually 10 holding
    check "…the LAN host is not reached" fails ping_ok "$BED_LAN_ADDR"
    check "…nor an outside address" fails ping_ok 198.51.100.7
    check "…and the start is retried" eventually 60 logged "always-on profile not connected"
    check "the gateway comes up" outside bed_gateway_restart
    check "the always-on profile connects with no client" eventually 90 office_is connected
    check "lockdown eased once up" fails holding
    check "ping through it" eventually 10 ping_ok "$BED_LAN_ADDR"
    check "a malformed neighbour is refused alone" logged "20-broken.json: refused"
    check "the status carries a managed revision" grep -q "\"managedRevision\":[1-9]" <<<"$(T status)"

    check "the gateway's charon is killed and restarted" outside bed_gateway_restart
    check "the tunnel goes down" eventually 90 office_down
    check "…and lockdown holds again" eventually 10 holding
    ping -c 1 -W 1 198.51.100.7 >/dev/null 2>&1 || true
    check "…and heals by itself" eventually 90 office_is connected
    check "ping after healing" eventually 10 ping_ok "$BED_LAN_ADDR"

    out=$(nobody stop "$id" 2>&1) || true
    check "an unprivileged stop is refused: $out" grep -q "'Head Office' is kept connected by your administrator" <<<"$out"
    out=$(nobody stop-all 2>&1) || true
    check "an unprivileged stop-all does nothing: $out" grep -q "Not authorized" <<<"$out"
    check "still connected" office_is connected

    # A root client's own profile ranks after the managed one and goes with
    # stop-all; the always-on one stays.
    connects mine
    local mine
    mine=$(id_of mine)
    T priorities "$mine" "$id" >/dev/null
    out=$(T status | sed "s/^status //")
    check "managed first whatever the client's order" test \
        "$(jq -r '[.tunnels[] | .priority | tostring] | join(" ")' <<<"$out")" = "0 1"
    check "root stop-all" grep -q '^reply stop-all 0' <<<"$(T stop-all)"
    check "the client's tunnel is gone" test -z "$(state_of "$mine")"
    check "the always-on tunnel stays up" office_is connected
    check "ping after stop-all" ping_ok "$BED_LAN_ADDR"

    out=$(T stop "$id")
    check "root stops it: $out" grep -q "^reply stop 0 Disconnected" <<<"$out"
    check "…lockdown holds with it stopped" holding
    check "…the LAN host is not reached" fails ping_ok "$BED_LAN_ADDR"
    check "nothing left outside the tunnel so far: $(leak_count) packets" test "$(leak_count)" = 0
    leak_counter_remove

    # A new file is read without SIGHUP, and the new list brings the
    # stopped always-on profile back.
    sed 's/}$/,"userMayDisconnect":true}/' "$P/mine.profile.json" >"$W/mine.json"
    install -m 644 "$W/mine.json" "$cfg/profiles.d/30-mine.json"
    check "an added file is read without SIGHUP" eventually 5 logged "config dir changed"
    check "…and the always-on profile is back" eventually 60 office_is connected

    # The panic button restores the machine, and the administrator's
    # profile comes back as at daemon start.
    check "root force-kill" grep -q '^reply force-kill 0' <<<"$(T force-kill)"
    check "…the always-on profile connects again" eventually 60 office_is connected

    out=$(T terminate || true)
    check "terminate is declined while it is kept up: $out" \
        grep -q "^reply terminate error terminate declined: always-on profile 'Head Office'" <<<"$out"
    sleep 0.5
    check "…and the daemon runs on" kill -0 "$hp"

    rm "$cfg/profiles.d/10-office.json" "$cfg/profiles.d/30-mine.json"
    kill -HUP "$hp"
    check "removed and reloaded: the tunnel stops" eventually 30 office_gone
    check "lockdown is lifted" fails holding
    check "its removal is logged" logged "managed profile 'Head Office' was removed"
    restored "removal" "$W/baseline"
    check "the daemon exits on terminate now" test "$(T terminate)" = "reply terminate"
    eventually 10 exited || kill -KILL "$hp"
    wait "$hp" 2>/dev/null || true

    daemon_summary managed_e2e
}
export -f inner
bed_private_with_outside inner
