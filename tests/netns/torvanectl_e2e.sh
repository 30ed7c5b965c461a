#!/usr/bin/env bash
# torvanectl end to end: the real daemon in the client namespace of the test
# bed (private /run, own PID namespace), and torvanectl beside it with a
# throw-away home, its own D-Bus session and an unlocked gnome-keyring, so
# profiles and secrets are really stored. Two profiles (PSK, EAP-MSCHAPv2
# with a prompted password) connect, carry a ping to the LAN host, swap
# priority with `move` (the route to the LAN follows), and disconnect while
# `status --watch` records the transitions. At the end the tray app joins
# (offscreen; a second start hands over to it and exits): the CLI's watch
# keeps its callbacks beside it, and a SIGTERM to the app, as a logout
# sends, stops the tunnel before the app exits.
#
#   torvanectl_e2e.sh HELPER TORVANECTL [TORVANE_APP]
set -euo pipefail
# The checks read the programs' English texts, whatever language the machine
# or the caller's session has.
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
# shellcheck source=../tools/private_keyring.sh
source "$(dirname "$0")/../tools/private_keyring.sh"
export -f keyring_up keyring_down
# torvanectl takes the test client's place.
bed_daemon_up "$1" "$2" dbus-daemon dbus-send gnome-keyring-daemon secret-tool
export CTL=$TC
APP=${3:-}
[ -z "$APP" ] || APP=$(realpath "$APP")
export APP

bed_make_profile ctl-psk psk user=user02 "name=Office PSK" >/dev/null
bed_make_profile ctl-eap eapMSCHAPv2 user=user03 "name=Lab EAP" >/dev/null
export PSK_SECRET EAP_PASSWORD
PSK_SECRET=$(bed_user_psk user02)
EAP_PASSWORD=$(bed_user_password user03)

inner() {
    set -u
    local passed=0 failed=0 out rc
    export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config XDG_RUNTIME_DIR=$W/home/run
    export TORVANE_HELPER_SOCKET=$S
    mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
    ctl() { "$CTL" "$@"; }
    # The value of a tab-separated status column for the tunnel NAME.
    column_of() { awk -F'\t' -v n="$1" -v c="$2" '$1 == n { print $c }'; }
    route_src() { ip route show table main "$BED_LAN_NET" | sed -n 's/.* src \([0-9.]*\).*/\1/p'; }

    # The Secret Service the profile store writes to.
    keyring_up "$W" || exit 1

    local hp
    # The administrator's directory does not exist yet: it is made further
    # down and the daemon told once (SIGHUP); from then on it watches it.
    if [ -n "$APP" ]; then
        launch --config-dir "$W/admin" --trust-client "$APP"
    else
        launch --config-dir "$W/admin"
    fi

    # Bad input changes nothing.
    rc=0 && ctl frobnicate 2>/dev/null || rc=$?
    check "unknown command: usage status (got $rc)" test "$rc" = 2
    printf '{"authMethod":"PSK"}' >"$W/bad.json"
    rc=0 && ctl add --from-json "$W/bad.json" 2>"$W/bad.err" || rc=$?
    check "malformed profile refused (got $rc)" test "$rc" = 1
    check "the refusal says why" grep -q 'bad.json is not a profile' "$W/bad.err"
    check "nothing was added" test -z "$(ctl list 2>/dev/null)"

    # Two profiles; only the PSK one gets a stored secret.
    printf '%s\n' "$PSK_SECRET" >"$W/psk.txt"
    printf '%s\n' "$EAP_PASSWORD" >"$W/eap-password.txt"
    check "add the PSK profile" ctl add --from-json "$P/ctl-psk.profile.json" --psk-file "$W/psk.txt"
    check "add the EAP profile" ctl add --from-json "$P/ctl-eap.profile.json"
    out=$(ctl list)
    check "list in order" grep -Pzq '1 +Office PSK +psk +10\.10\.0\.1 .*\n2 +Lab EAP +eapMSCHAPv2 ' <<<"$out"
    local psk_id eap_id
    psk_id=$(id_of ctl-psk)
    eap_id=$(id_of ctl-eap)
    check "the PSK is in the keyring" \
        bash -c 'secret-tool lookup service kv.kelvor.torvane.secrets account "$0" | grep -q "\"xauthPassword\":\"$1\""' \
        "$psk_id" "$PSK_SECRET"

    # Started directly, not through `ctl`: $! must be torvanectl itself.
    "$CTL" status --watch >"$W/watch.out" 2>"$W/watch.err" &
    local watch_pid=$!
    eventually 5 test -s "$W/watch.out" || true
    sleep 0.5 # its subscription goes out right after the first snapshot

    out=$(ctl connect "Office PSK" 2>&1) || true
    check "PSK connects: $out" grep -Eq '^Connected \(10\.99\.0\.[0-9]+\)$' <<<"$out"
    check "connect prints the state it reached" grep -Pq '^Office PSK\tconnected\t10\.99\.' <<<"$out"

    rc=0 && out=$(ctl connect "Lab EAP" </dev/null 2>&1) || rc=$?
    check "no stored password and no terminal: refused (got $rc)" test "$rc" = 1
    check "the refusal names the way out: $out" grep -q "no stored EAP Password; give it with --password-file" <<<"$out"
    out=$(ctl connect "Lab EAP" --password-file "$W/eap-password.txt" </dev/null 2>&1) || true
    check "EAP connects with the prompted password: $out" grep -Eq '^Connected \(10\.99\.0\.[0-9]+\)$' <<<"$out"
    check "the prompted password is not stored" \
        bash -c '! secret-tool lookup service kv.kelvor.torvane.secrets account "$0" >/dev/null 2>&1' "$eap_id"

    out=$(ctl status)
    local psk_vip eap_vip
    psk_vip=$(column_of "Office PSK" 3 <<<"$out")
    eap_vip=$(column_of "Lab EAP" 3 <<<"$out")
    check "status: PSK connected" test "$(column_of "Office PSK" 2 <<<"$out")" = connected
    check "status: EAP connected" test "$(column_of "Lab EAP" 2 <<<"$out")" = connected
    check "two different virtual IPs ($psk_vip, $eap_vip)" \
        bash -c '[[ $0 == 10.99.0.* && $1 == 10.99.0.* && $0 != "$1" ]]' "$psk_vip" "$eap_vip"
    check "ping through the tunnel" ping -q -c 1 -W 3 "$BED_LAN_ADDR" >/dev/null

    # The top profile's tunnel carries the LAN both claim; moving the other
    # one to the top hands the route over.
    check "the LAN goes through the top profile ($(route_src))" test "$(route_src)" = "$psk_vip"
    check "move" ctl move "Lab EAP" 1 >/dev/null
    check "list follows the move" grep -Pzq '1 +Lab EAP .*\n2 +Office PSK ' <<<"$(ctl list)"
    check "the LAN route follows the new order ($(route_src))" test "$(route_src)" = "$eap_vip"
    check "ping after the move" ping -q -c 1 -W 3 "$BED_LAN_ADDR" >/dev/null
    check "move back" ctl move "$psk_id" 1 >/dev/null
    check "the route comes back ($(route_src))" test "$(route_src)" = "$psk_vip"

    check "disconnect PSK" test "$(ctl disconnect "Office PSK")" = "Disconnected Office PSK"
    check "disconnect EAP by id" test "$(ctl disconnect "$eap_id")" = "Disconnected Lab EAP"
    check "status: no tunnels" test "$(ctl status)" = "no tunnels"
    check "no route to the LAN is left" test -z "$(ip route show table main "$BED_LAN_NET")"

    sleep 0.3
    kill -INT "$watch_pid"
    rc=0 && wait "$watch_pid" || rc=$?
    check "Ctrl-C ends status --watch with 0 (got $rc)" test "$rc" = 0
    local states
    states=$(column_of "Office PSK" 2 <"$W/watch.out" | uniq | tr '\n' ' ')
    check "watch saw connecting → connected → disconnected: $states" \
        grep -Eq '(^| )connecting connected( connected)* disconnected' <<<"$states"
    states=$(column_of "Lab EAP" 2 <"$W/watch.out" | uniq | tr '\n' ' ')
    check "watch saw the EAP tunnel come and go: $states" \
        grep -Eq 'connecting connected .*disconnected' <<<"$states"

    # Export and import: the copy gets its own id and its secrets; two
    # profiles of one name must then be named by id.
    printf 'a passphrase\n' >"$W/pass.txt"
    printf 'wrong\n' >"$W/wrong.txt"
    # Written over a file others could read, the export is the owner's alone.
    install -m 644 /dev/null "$W/office.torvane"
    check "export" ctl export "Office PSK" "$W/office.torvane" --passphrase-file "$W/pass.txt"
    check "the export file is the owner's alone" test "$(stat -c %a "$W/office.torvane")" = 600
    check "the export file is version 2" grep -q '^  "version" : 2$' "$W/office.torvane"
    check "export in the older format" ctl export "Office PSK" "$W/office-v1.torvane" \
        --passphrase-file "$W/pass.txt" --format-version 1
    check "…which says version 1" grep -q '^  "version" : 1$' "$W/office-v1.torvane"
    rc=0 && out=$(ctl import "$W/office.torvane" --passphrase-file "$W/wrong.txt" 2>&1) || rc=$?
    check "wrong passphrase refused (got $rc): $out" test "$rc" = 1
    check "import" ctl import "$W/office.torvane" --passphrase-file "$W/pass.txt"
    check "three profiles now" test "$(ctl list | wc -l)" = 4
    # Another user's configuration (another settings file) takes the same file.
    mkdir -p "$W/other/.config"
    check "import into a second configuration" env HOME="$W/other" \
        XDG_CONFIG_HOME="$W/other/.config" "$CTL" import "$W/office.torvane" \
        --passphrase-file "$W/pass.txt"
    check "…which lists it alone" test "$(HOME="$W/other" XDG_CONFIG_HOME="$W/other/.config" \
        "$CTL" list | grep -c "Office PSK")" = 1
    rc=0 && out=$(ctl connect "Office PSK" 2>&1) || rc=$?
    check "an ambiguous name is refused (got $rc): $out" grep -q "matches 2 profiles" <<<"$out"
    local copy_id
    copy_id=$(ctl list | awk '$1 == 3 { print $NF }')
    check "the copy connects with its imported secret" \
        bash -c '"$CTL" connect "$0" | grep -q "^Connected"' "$copy_id"

    # log --follow shows the daemon's lines as they come.
    "$CTL" log --follow >"$W/log.out" 2>&1 &
    local log_pid=$!
    sleep 0.5
    check "stop-all" test "$(ctl stop-all)" = "Disconnected"
    ctl connect "$copy_id" >/dev/null || true
    check "force-kill" test "$(ctl force-kill)" = "Force-killed all VPN processes and restored networking"
    sleep 0.3
    kill -INT "$log_pid"
    wait "$log_pid" || true
    check "log --follow printed the force-kill" grep -q 'force-kill requested' "$W/log.out"
    check "remove" ctl remove "$copy_id"
    check "two profiles left" test "$(ctl list | wc -l)" = 3

    # A managed profile: listed first, position "-", marked in a last column;
    # the user's keep their numbers, and commands find it by name.
    mkdir -p "$W/admin/profiles.d"
    chmod 755 "$W/admin" "$W/admin/profiles.d"
    printf '{"id":"2C4E6A80-1B3D-4F5A-9C7E-0D2F4B6A8C1E","name":"Head Office","authMethod":"psk","remoteAddr":"192.0.2.99"}\n' \
        >"$W/admin/profiles.d/10-office.json"
    # The administrator also ships the user's second profile: the user's
    # copy keeps its number (what move and remove count), marked hidden.
    local second_id
    second_id=$(ctl list | awk '$1 == 2 {print $NF}')
    printf '{"id":"%s","name":"Admin Copy","authMethod":"psk","remoteAddr":"192.0.2.98"}\n' "$second_id" \
        >"$W/admin/profiles.d/20-copy.json"
    chmod 644 "$W/admin/profiles.d/10-office.json" "$W/admin/profiles.d/20-copy.json"
    kill -HUP "$hp"
    check "list shows the managed profile first" eventually 5 \
        bash -c '"$CTL" list | sed -n 2p | grep -Eq "^- +Head Office +psk +192\.0\.2\.99 +2C4E6A80-[-0-9A-F]+ +managed$"'
    out=$(ctl list)
    check "…the user's keep their positions, unmarked: $out" \
        bash -c 'awk "\$1 == 1 && \$NF != \"managed\"" <<<"$0" | grep -q "Office PSK"' "$out"
    check "…a user's profile the administrator ships is marked hidden: $out" \
        bash -c 'awk "\$1 == 2 && \$NF == \"hidden\"" <<<"$0" | grep -q .' "$out"
    rc=0 && out=$(ctl disconnect "Head Office" 2>&1) || rc=$?
    check "disconnect finds it by name: $out" fails grep -q "no profile is named" <<<"$out"
    check "the directory made after the start is watched from the reload on" \
        logged "changes are watched from now on"
    rm "$W/admin/profiles.d/10-office.json" "$W/admin/profiles.d/20-copy.json"
    check "gone from the list once the administrator removes it, without a reload" eventually 5 \
        bash -c 'test "$("$CTL" list | wc -l)" = 3'

    if [ -n "$APP" ]; then
        local app watcher started
        check "the app's test: Office PSK connects" bash -c '"$CTL" connect "Office PSK" | grep -q "^Connected"'
        "$CTL" status --watch >"$W/watch-app.out" 2>&1 &
        watcher=$!
        QT_QPA_PLATFORM=offscreen "$APP" >"$W/app.out" 2>&1 &
        app=$!
        app_connected() { ss -xp | grep -q "pid=$app,"; }
        check "the app connects to the daemon" eventually 15 app_connected
        # Its subscription and first status follow the connection at once.
        sleep 1
        # A second start hands over to the running app and exits.
        local second=0
        QT_QPA_PLATFORM=offscreen timeout 20 "$APP" >"$W/app2.out" 2>&1 || second=$?
        check "a second app exits at once with status 0 (got $second)" test "$second" = 0
        check "…and the first one still runs" kill -0 "$app"
        started=$(date +%s%N)
        kill -TERM "$app"
        check "SIGTERM: the app ends within 15 s" eventually 15 fails kill -0 "$app"
        kill -KILL "$app" 2>/dev/null || true
        local code=0
        wait "$app" || code=$?
        local took=$((($(date +%s%N) - started) / 1000000))
        echo "torvanectl_e2e: the app ended $took ms after SIGTERM, status $code"
        check "SIGTERM: the app exits with status 0 (got $code)" test "$code" = 0
        check "SIGTERM: the app stopped the tunnel first ($(ctl status | tr '\t\n' ' '))" \
            fails grep -q connected <<<"$(ctl status)"
        check "the CLI's watch, subscribed before the app, saw the disconnect" \
            eventually 5 grep -q 'Office PSK.*disconnected' "$W/watch-app.out"
        kill -INT "$watcher"
        wait "$watcher" || true
    fi

    daemon_stop
    keyring_down
    [ "$failed" = 0 ] || cat "$W/watch.out" "$W/watch.err" >&2
    daemon_summary torvanectl_e2e
}
export -f inner
bed_client_private bash -c inner
