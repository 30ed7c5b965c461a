#!/usr/bin/env bash
# Who may drive the daemon, decided by the real polkitd: torvane-helper in the
# test bed's client context, with a private system bus and polkitd on it.
# In that context's own mount namespace polkitd sees our policy file and one
# rule in place of the machine's, and /etc/passwd and /etc/group know two
# test users; the machine's files are never touched.
#   root      passes without polkit being asked
#   tvallow   a rule says yes: starts and stops a tunnel through the gateway
#   tvdeny    polkit's defaults apply (no session, no authentication agent):
#             every gated call gets the error reply and nothing happens
# Then the connection limits, polkitd going away (only root passes, logged
# once), and a descriptor flood: the daemon runs with a low descriptor limit,
# the two users hold every descriptor it has, and root still tears down.
#
#   polkit_e2e.sh HELPER TESTCLIENT POLICY [TORVANECTL]
set -euo pipefail
# The checks read the programs' English texts, whatever language the machine
# or the caller's session has.
unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=C.UTF-8
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=testbed.sh
source "$here/testbed.sh"
POLKITD=/usr/lib/polkit-1/polkitd
POLICY=$(realpath "$3")
CTL=${4:+$(realpath "$4")}
BUS_CONF=$(realpath "$here/../tools/private-system-bus.conf")
export POLICY CTL BUS_CONF POLKITD
: "${BED_PREFIX:=tvp-$$}"
bed_daemon_up "$1" "$2" dbus-daemon dbus-send setpriv "$POLKITD"

# Two user ids this machine does not use.
free_uid() {
    local uid=$1
    while getent passwd "$uid" >/dev/null || getent group "$uid" >/dev/null; do uid=$((uid + 1)); done
    echo "$uid"
}
ALLOW_UID=$(free_uid 4271)
DENY_UID=$(free_uid $((ALLOW_UID + 1)))
export ALLOW_UID DENY_UID

bed_make_profile root psk user=user02 name=Rooted >/dev/null
bed_make_profile allow psk user=user03 name=Allowed >/dev/null
bed_make_profile deny psk user=user04 name=Denied >/dev/null
# The test users read their own start requests.
chmod 0644 "$BED_WORK/profiles/allow.secrets.json" "$BED_WORK/profiles/deny.secrets.json"

inner() {
    set -u
    local passed=0 failed=0 out rc hp

    # polkitd's actions and rules, and the users, for this namespace only.
    mkdir -p "$W/pk/actions" "$W/pk/rules" "$W/pk/rules-usr"
    cp "$POLICY" "$W/pk/actions/"
    cat >"$W/pk/rules/50-torvane-test.rules" <<'EOF'
polkit.addRule(function(action, subject) {
    if (action.id.indexOf("kv.kelvor.torvane.") == 0 && subject.user == "tvallow") {
        return polkit.Result.YES;
    }
});
EOF
    chown -R polkitd "$W/pk/rules" "$W/pk/rules-usr"
    chmod 0700 "$W/pk/rules" "$W/pk/rules-usr"
    cp /etc/passwd "$W/passwd"
    cp /etc/group "$W/group"
    printf 'tvallow:x:%s:%s::/nonexistent:/usr/sbin/nologin\n' "$ALLOW_UID" "$ALLOW_UID" >>"$W/passwd"
    printf 'tvdeny:x:%s:%s::%s/deny-home:/usr/sbin/nologin\n' "$DENY_UID" "$DENY_UID" "$W" >>"$W/passwd"
    printf 'tvallow:x:%s:\ntvdeny:x:%s:\n' "$ALLOW_UID" "$DENY_UID" >>"$W/group"
    mount --bind "$W/pk/actions" /usr/share/polkit-1/actions
    mount --bind "$W/pk/rules" /etc/polkit-1/rules.d
    mount --bind "$W/pk/rules-usr" /usr/share/polkit-1/rules.d
    mount --bind "$W/passwd" /etc/passwd
    mount --bind "$W/group" /etc/group

    export DBUS_SYSTEM_BUS_ADDRESS=unix:path=/run/tv-system-bus
    local bus_pid pk
    bus_pid=$(dbus-daemon --config-file="$BUS_CONF" --address="$DBUS_SYSTEM_BUS_ADDRESS" --fork --print-pid=1)
    "$POLKITD" --no-debug >"$W/polkitd.out" 2>&1 &
    pk=$!
    polkit_up() {
        dbus-send --system --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.PolicyKit1 2>/dev/null |
            grep -q 'boolean true'
    }
    eventually 20 polkit_up || echo "polkitd did not come up: $(cat "$W/polkitd.out")" >&2

    # as UID COMMAND...: COMMAND as that user, with no groups.
    as() {
        local uid=$1
        shift
        setpriv --reuid="$uid" --regid="$uid" --clear-groups "$@"
    }
    U() {
        local uid=$1
        shift
        as "$uid" "$TC" --socket "$S" "$@"
    }
    tunnels() { T status | grep -o '"state":"connected"' | wc -l; }
    # Waits for the daemon to exit (killing it after 30 s, so that a daemon
    # that ignores terminate fails the check instead of hanging the test) and
    # returns its exit status.
    exited() { [ ! -e "/proc/$1" ] || [ "$(awk '{print $3}' "/proc/$1/stat")" = Z ]; }
    reap() {
        eventually 30 exited "$1" || kill -KILL "$1" 2>/dev/null
        wait "$1"
    }
    lan_reachable() { ping -c 1 -W 2 "$BED_LAN_ADDR" >/dev/null 2>&1; }

    machine_snapshot >"$W/baseline"
    launch ${CTL:+--trust-client "$CTL"}

    # Root: nobody is asked.
    out=$(start_profile root)
    check "root starts a tunnel: $out" grep -q '^reply start 0 Connected (10\.99\.0\.' <<<"$out"

    # tvdeny: each gated call refused, with the action named; nothing done.
    local root_id call action line
    root_id=$(id_of root)
    while IFS='|' read -r call action line; do
        rc=0
        # shellcheck disable=SC2086 # the command line is split on purpose
        out=$(U "$DENY_UID" $line) || rc=$?
        echo "tvdeny $call ($rc): $out"
        check "tvdeny $call refused (status $rc): $out" \
            bash -c '[ "$0" = 7 ] && grep -Eq "^reply $1 error Not authorized: .+ requires authorization \(kv\.kelvor\.torvane\.$2\) — polkit refused it$" <<<"$3"' \
            "$rc" "$call" "$action" "$out"
    done <<EOF
start|connect|start $P/deny.profile.json $P/deny.secrets.json
stop|connect|stop $root_id
stop-all|connect|stop-all
priorities|connect|priorities $root_id
subscribe|connect|subscribe
terminate|manage|terminate
force-kill|manage|force-kill
EOF
    check "tvdeny may ask for the version" test "$(U "$DENY_UID" version)" = "reply version 0.1.1"
    check "tvdeny may ask for the status" \
        grep -q '"profileName":"Rooted","state":"connected"' <<<"$(U "$DENY_UID" status)"
    check "root's tunnel is still the only one" test "$(tunnels)" = 1
    check "root's tunnel still carries traffic" eventually 10 lan_reachable
    check "the daemon never started Denied" bash -c '! grep -q Denied "$0"' "$W/helper.out"
    check "the daemon is still there" kill -0 "$hp"

    if [ -n "$CTL" ]; then
        mkdir -p "$W/deny-home"
        chown "$DENY_UID:$DENY_UID" "$W/deny-home"
        ctl_as_deny() {
            as "$DENY_UID" env HOME="$W/deny-home" XDG_CONFIG_HOME="$W/deny-home/.config" \
                TORVANE_HELPER_SOCKET="$S" "$CTL" "$@" 2>&1
        }
        rc=0
        out=$(ctl_as_deny stop-all) || rc=$?
        check "torvanectl stop-all as tvdeny fails (status $rc): $out" \
            bash -c '[ "$0" = 1 ] && grep -q "^torvanectl: Not authorized: stopping all VPN tunnels requires authorization (kv.kelvor.torvane.connect) — polkit refused it$" <<<"$1"' "$rc" "$out"
        rc=0
        out=$(ctl_as_deny log) || rc=$?
        check "torvanectl log as tvdeny fails (status $rc): $out" \
            bash -c '[ "$0" = 1 ] && grep -q "^torvanectl: Not authorized: following VPN status and log" <<<"$1"' "$rc" "$out"
        check "root's tunnel survived torvanectl" test "$(tunnels)" = 1
    fi

    # tvallow: the rule lets it start and stop its own tunnel.
    out=$(U "$ALLOW_UID" start "$P/allow.profile.json" "$P/allow.secrets.json")
    check "tvallow starts a tunnel: $out" grep -q '^reply start 0 Connected (10\.99\.0\.' <<<"$out"
    check "two tunnels now" test "$(tunnels)" = 2
    out=$(U "$ALLOW_UID" subscribe --seconds 0.2)
    check "tvallow subscribes" grep -q '^reply subscribe true$' <<<"$out"
    out=$(U "$ALLOW_UID" stop "$(id_of allow)")
    check "tvallow stops its tunnel: $out" test "$out" = "reply stop 0 Disconnected Allowed"

    # Connection limits: 32 per user; a connection that never asks is closed.
    U "$DENY_UID" hold 2 --silent --seconds 60 >"$W/idle.out" &
    local idle=$!
    out=$(U "$ALLOW_UID" --timeout 20 hold 40 --seconds 0)
    check "32 connections per user: $out" grep -q '^hold answered 32 closed 8 waiting 0 failed 0$' <<<"$out"
    local logged
    logged=$(grep -c "refused a connection from uid $ALLOW_UID: it has 32 connections already" "$W/helper.out" || true)
    check "the 8 refusals are logged, not each one ($logged lines)" test "$logged" -ge 1 -a "$logged" -lt 8
    wait "$idle"
    check "silent connections are closed: $(tail -n 1 "$W/idle.out")" \
        grep -q '^hold end open 0 closed 2$' "$W/idle.out"

    # Without polkit only root passes, and the daemon says why once.
    kill "$pk"
    wait "$pk" 2>/dev/null || true
    for call in stop-all priorities; do
        out=$(U "$ALLOW_UID" "$call") || true
        check "tvallow's $call refused without polkit: $out" \
            grep -q "^reply $call error Not authorized: .* — no polkit authority is running, so only root may do this$" <<<"$out"
    done
    check "the missing authority is logged once" \
        test "$(grep -c 'polkit: no authorization authority' "$W/helper.out")" = 1
    check "root still stops everything" test "$(T stop-all)" = "reply stop-all 0 Disconnected"
    restored "stop-all" "$W/baseline"
    check "terminate" test "$(T terminate)" = "reply terminate"
    reap "$hp" || true

    # The flood: few descriptors, all taken by the two users' connections.
    local limit=64 before
    (
        ulimit -n "$limit"
        exec "$HELPER" --socket "$S" --trust-client "$TC" >>"$W/helper.out" 2>&1
    ) &
    hp=$!
    bed_wait_for_socket "$S"
    out=$(start_profile root)
    check "root starts a tunnel under a $limit descriptor limit: $out" grep -q '^reply start 0 Connected' <<<"$out"
    # Numbers below the limit: a descriptor inherited from the test's shell
    # may sit above it.
    open_fds() { find /proc/"$hp"/fd -mindepth 1 -maxdepth 1 -printf '%f\n' | awk -v l="$limit" '$1 < l' | wc -l; }
    echo "descriptors open with one tunnel: $(open_fds) ($(grep 'Max open files' /proc/"$hp"/limits))"
    U "$ALLOW_UID" --timeout 20 hold 32 --seconds 300 >"$W/flood-allow.out" &
    local flood_allow=$!
    eventually 30 test -s "$W/flood-allow.out"
    U "$DENY_UID" --timeout 20 hold 32 --seconds 300 >"$W/flood-deny.out" &
    local flood_deny=$!
    eventually 30 test -s "$W/flood-deny.out"
    echo "flood: tvallow $(head -n 1 "$W/flood-allow.out"), tvdeny $(head -n 1 "$W/flood-deny.out")"
    echo "descriptors open under the flood: $(open_fds)"
    check "the flood ran the daemon out of descriptors" \
        grep -Eq "refused a connection from uid ($ALLOW_UID|$DENY_UID): the helper is out of file descriptors" "$W/helper.out"
    before=$(date +%s%N)
    out=$(T stop-all)
    echo "stop-all under the flood took $((($(date +%s%N) - before) / 1000000)) ms"
    check "root stops all under the flood: $out" test "$out" = "reply stop-all 0 Disconnected"
    check "no charon after stop-all" bash -c '! pgrep -x charon >/dev/null'
    restored "stop-all under the flood" "$W/baseline"
    check "terminate under the flood" test "$(T terminate)" = "reply terminate"
    rc=0
    reap "$hp" || rc=$?
    check "the daemon exits with 0 (got $rc)" test "$rc" = 0
    kill "$flood_allow" "$flood_deny" 2>/dev/null || true
    wait "$flood_allow" "$flood_deny" 2>/dev/null || true
    kill "$bus_pid" 2>/dev/null || true

    daemon_summary polkit_e2e
}
export -f inner
bed_client_private bash -c inner
