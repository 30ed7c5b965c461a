#!/usr/bin/env bash
# A daemon killed with SIGKILL cannot undo its changes; the next one must,
# except for an engaged kill switch, which fails closed. And the daemon ends
# its own processes and nobody else's.
#
# Somebody else's `charon` and `dnsmasq` (a copy of sleep named charon, a real
# dnsmasq that keeps answering on another port) run in the client namespace
# and inside the daemon's PID namespace; they must outlive every flow that
# ends ours: a connect (which looks for a stray charon of ours first), stop,
# stop-all, our charon SIGKILLed and relaunched by the watchdog, force-kill,
# and a daemon killed with SIGKILL whose successor restores the namespace
# from the journal and ends the charon and dnsmasq the journal names.
#
# With a tunnel that changed everything it can (routes, DNS through the
# local proxy, IPv6 off, the kill switch) the daemon is SIGKILLed and traffic
# keeps knocking: no packet may leave the client outside the tunnel, neither
# while no daemon runs nor after the new one restored the rest (it holds the
# firewall table), nor one the client forwards for a "container". Stop-all
# then gives back the namespace exactly; a last round shows a reconnect
# taking the held table over and a stop releasing it.
#
# Where a writable cgroup2 hierarchy exists, the successor runs in a group of
# its own named like the daemon's service, holding a stray charon of ours: the
# next connect must end that one and still not the others.
#
#   client ns (daemon, charon)          gateway ns ...  (see testbed.sh)
#   +---------------------------+
#   | <p>-c 10.10.0.2 ----------+---- veth to the gateway 10.10.0.1
#   | <p>-x0 10.77.0.1/24,      |
#   |   forwards                |
#   +-------------+-------------+
#                 | veth
#   "container" (an unnamed network namespace): <p>-x1 10.77.0.2/24,
#   default via 10.77.0.1
#
#   journal_e2e.sh HELPER TESTCLIENT
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
: "${BED_PREFIX:=tvj-$$}"
bed_daemon_up "$1" "$2" dnsmasq od nsenter
GROUP=""
# Its processes die with the daemon's PID namespace, a moment before.
group_remove() {
    [ -n "$GROUP" ] || return 0
    eventually 5 rmdir "$GROUP/torvane-helper.service" 2>/dev/null || true
    rmdir "$GROUP" || true
}
trap 'bed_down || true; group_remove' EXIT
bed_make_profile everything psk user=user11 name=Everything remoteTS=0.0.0.0/0 \
    dnsServers="$BED_LAN_ADDR" searchDomains=corp.tvj.test dnsmasqEnabled=true \
    preventIPv6Leak=true killSwitchEnabled=true >/dev/null

F=$BED_WORK/foreign
mkdir "$F"
cp "$(command -v sleep)" "$F/charon"
export F
# foreign_start LIST PORT: somebody else's charon and a dnsmasq answering
# foreign.test on 127.0.0.1:PORT; appends "PID START PORT" lines to LIST.
foreign_start() {
    local charon dnsmasq
    "$F/charon" infinity &
    charon=$!
    dnsmasq --keep-in-foreground --conf-file=/dev/null --no-resolv --no-hosts \
        --bind-interfaces --listen-address=127.0.0.1 --port="$2" \
        --address=/foreign.test/192.0.2.7 --pid-file="$F/dnsmasq-$2.pid" \
        >"$F/dnsmasq-$2.out" 2>&1 &
    dnsmasq=$!
    printf '%s %s -\n%s %s %s\n' "$charon" "$(cut -d' ' -f22 "/proc/$charon/stat")" \
        "$dnsmasq" "$(cut -d' ' -f22 "/proc/$dnsmasq/stat")" "$2" >>"$1"
}
# dns_answers PORT: the dnsmasq on 127.0.0.1:PORT resolves foreign.test.
dns_answers() {
    timeout 5 bash -c 'exec 3<>"/dev/udp/127.0.0.1/$0"
        printf "\x12\x34\x01\x00\x00\x01\x00\x00\x00\x00\x00\x00\x07foreign\x04test\x00\x00\x01\x00\x01" >&3
        dd bs=512 count=1 status=none <&3 | od -An -tx1 | tr -d " \n" | grep -q "c0000207$"' "$1"
}
# foreign_alive LIST: every process listed still runs (same start time, not
# a zombie) and every dnsmasq listed answers.
foreign_alive() {
    local pid start port stat
    [ -s "$1" ] || return 1
    while read -r pid start port; do
        stat=$(cat "/proc/$pid/stat" 2>/dev/null) || return 1
        [ "$(cut -d' ' -f22 <<<"$stat")" = "$start" ] && [ "$(cut -d' ' -f3 <<<"$stat")" != Z ] ||
            return 1
        [ "$port" = - ] || dns_answers "$port" || return 1
    done <"$1"
}
export -f foreign_start dns_answers foreign_alive
outer_alive() { bed_client_exec bash -c 'foreign_alive "$0"' "$F/outer.list"; }
bed_client_exec bash -c 'foreign_start "$0" 5353; wait' "$F/outer.list" &
bed_track_pid $!
eventually 10 outer_alive || bed_fail "somebody else's processes did not start: $(cat "$F"/*.out)"
bed_track_pid $(cut -d' ' -f1 "$F/outer.list")

# A group named like the daemon's service, where the successor runs.
unified=$(awk '$3 == "cgroup2" { print $2; exit }' /proc/self/mounts)
if [ -n "$unified" ] && mkdir "$unified/$BED_PREFIX" 2>/dev/null; then
    GROUP=$unified/$BED_PREFIX
    mkdir "$GROUP/torvane-helper.service"
fi
SERVICE_GROUP=${GROUP:+$BED_PREFIX/torvane-helper.service}
export SERVICE_GROUP

inner() {
    set -u
    local passed=0 failed=0 hp reply flow box x=$BED_PREFIX-x id
    id=$(id_of everything)
    launch() { # [GROUP]: the daemon starts in that control group
        bash -c '[ -z "$0" ] || echo $$ >"$0/cgroup.procs"; exec "$HELPER" --socket "$1" \
            --trust-client "$TC"' "${1:-}" "$S" >>"$W/helper.out" 2>&1 &
        hp=$!
        bed_wait_for_socket "$S"
    }
    # Ours: the processes of that name that are not somebody else's (nor
    # the stray placed in the service group below).
    ours() { pgrep -x "$1" | grep -vxF -f <(cut -d' ' -f1 "$F/inner.list" "$F/stray" 2>/dev/null); }
    running() { ours "$1" >/dev/null; }
    gone() { ! ours "$1" >/dev/null; }
    both() { "$1" charon && "$1" dnsmasq; }
    ended() { ! kill -0 "$1" 2>/dev/null; }
    relaunched() { [ -n "$(ours charon)" ] && [ "$(ours charon)" != "$1" ]; }
    connected() { [ "$(T status | grep -o '"state":"[a-z]*"')" = '"state":"connected"' ]; }
    # After each flow: somebody else's processes, here and outside the
    # daemon's PID namespace, still run and answer.
    survived() {
        check "$1: somebody else's charon and dnsmasq live on in the daemon's PID namespace" \
            foreign_alive "$F/inner.list"
        check "$1: …and outside it" outside outer_alive
    }
    sigkill() {
        kill -KILL "$hp"
        wait "$hp" 2>/dev/null || true
        rm -f "$S"
    }
    in_box() { nsenter --net="/proc/$box/ns/net" "$@"; }
    # Traffic that would leave outside the tunnel: the LAN host, the
    # gateway's other side, UDP to an outside address, and a ping the
    # client forwards for the container. Dropped packets fail; that is fine.
    knock() {
        ping -c 1 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
        ping -c 1 -W 1 "$BED_GW_LAN_ADDR" >/dev/null 2>&1 || true
        timeout 3 bash -c 'echo x >/dev/udp/198.51.100.1/53' 2>/dev/null || true
        in_box ping -c 1 -W 1 "$BED_GW_ADDR" >/dev/null 2>&1 || true
    }
    drops() { # drops CHAIN: the packets the kill switch's last rule dropped
        nft list chain inet torvane_killswitch "$1" 2>/dev/null |
            sed -n 's/.*counter packets \([0-9]*\) bytes [0-9]* drop/\1/p'
    }
    # The namespace without its firewall: everything but the held table.
    outside_firewall() { sed '/^--- nft/,$d' "$@"; }
    rest_restored() { [ "$(machine_snapshot | outside_firewall)" = "$(outside_firewall "$W/base")" ]; }

    start_everything() {
        connects everything "$1: the tunnel"
    }

    # The container routed through the client, before the baseline.
    unshare --net sleep 600 &
    box=$!
    eventually 5 bash -c '[ "$(readlink /proc/$0/ns/net)" != "$(readlink /proc/self/ns/net)" ]' "$box"
    ip link add "$x"0 type veth peer name "$x"1 netns "$box"
    # IPv6 on a second link would make the order of the link-local routes
    # after the daemon's IPv6 restore depend on which link came back first.
    sysctl -qw "net.ipv6.conf.${x}0.disable_ipv6=1"
    ip addr add 10.77.0.1/24 dev "$x"0
    ip link set "$x"0 up
    in_box ip link set lo up
    in_box ip addr add 10.77.0.2/24 dev "$x"1
    in_box ip link set "$x"1 up
    in_box ip route add default via 10.77.0.1
    sysctl -qw net.ipv4.ip_forward=1
    leak_counter_add "$BED_PREFIX-c" "$BED_GW_ADDR"
    in_box ping -c 1 -W 1 "$BED_GW_ADDR" >/dev/null 2>&1 || true
    check "without a kill switch the container's packets leave the client ($(leak_count))" \
        test "$(leak_count)" -gt 0
    leak_counter_remove
    foreign_start "$F/inner.list" 5354
    check "somebody else's processes run here too" eventually 10 foreign_alive "$F/inner.list"
    eventually 15 machine_settled || true
    machine_snapshot >"$W/base"
    launch
    echo "journal_e2e: the daemon runs by hand, in the group '$(cut -d: -f3- /proc/$hp/cgroup |
        tail -n 1)' with the test's own processes"

    flow=connect
    start_everything $flow
    check "$flow: our charon and dnsmasq run" both running
    survived $flow

    flow="charon crash"
    local old
    old=$(ours charon)
    kill -KILL "$old"
    check "$flow: the watchdog relaunches charon" \
        eventually 70 logged "tracked charon is not running — relaunching"
    check "$flow: the tunnel is connected again" eventually 30 connected
    check "$flow: a new charon of ours runs" relaunched "$old"
    survived "$flow"

    # The tunnel is still up from the flow before; each later flow starts it.
    local args
    for flow in stop stop-all force-kill; do
        [ "$flow" = stop ] || start_everything $flow
        args=()
        [ "$flow" != stop ] || args=("$id")
        reply=$(T $flow "${args[@]}")
        check "$flow: $reply" grep -q "^reply $flow 0" <<<"$reply"
        check "$flow: ours are gone" eventually 10 both gone
        restored "$flow" "$W/base"
        survived $flow
    done

    flow="crash recovery"
    start_everything "$flow"
    check "$flow: the namespace was changed" bash -c '! machine_same_as "$0"' "$W/base"
    check "$flow: a journal lists the changes" test -s /run/torvane/journal.json
    leak_counter_add "$BED_PREFIX-c" "$BED_GW_ADDR"
    sigkill
    check "$flow: charon outlived the killed daemon" running charon
    check "$flow: dnsmasq outlived the killed daemon" running dnsmasq
    knock
    local unattended
    unattended=$(leak_count)
    check "$flow: nothing left outside the tunnel while no daemon ran ($unattended)" \
        test "$unattended" = 0

    local stray=""
    if [ -n "$SERVICE_GROUP" ]; then
        # A stray charon of ours in the service's group, and the successor
        # there with it. `ip netns exec` mounted a sysfs of its own, without
        # the control groups: they are mounted again here.
        mkdir "$W/cgroup"
        mount -t cgroup2 cgroup2 "$W/cgroup"
        bash -c 'echo $$ >"$0/cgroup.procs" && exec "$F/charon" infinity' \
            "$W/cgroup/$SERVICE_GROUP" &
        stray=$!
        echo "$stray" >"$F/stray"
        launch "$W/cgroup/$SERVICE_GROUP"
    else
        echo "journal_e2e: no writable cgroup2 hierarchy — the service group case is not run"
        launch
    fi
    check "$flow: the new daemon restores from the journal" eventually 10 logged \
        "TorvaneHelper: the previous helper stopped without undoing its changes — restoring"
    check "$flow: it holds the kill switch" eventually 10 logged "TorvaneHelper: kill switch held \
after a restart: traffic stays blocked until its tunnels reconnect or Disconnect All"
    check "$flow: the old charon is gone" eventually 10 gone charon
    check "$flow: the old dnsmasq is gone" eventually 10 gone dnsmasq
    check "$flow: routes, rules, DNS and IPv6 are restored" eventually 15 rest_restored
    knock
    knock
    check "$flow: nothing left outside the tunnel after the restore ($(leak_count))" \
        test "$(leak_count)" = 0
    check "$flow: the forward chain dropped the container's pings ($(drops forward))" \
        test "$(drops forward)" -ge 2
    echo "journal_e2e: packets out of the tunnel: $unattended while no daemon ran," \
        "$(leak_count) after the restore; held table dropped $(drops output) sent and" \
        "$(drops forward) forwarded"
    reply=$(T status)
    check "$flow: the status says it holds: $reply" grep -q '"killSwitchHolding":true' <<<"$reply"
    check "$flow: and has no tunnel" bash -c '! grep -q profileID <<<"$0"' "$reply"
    check "$flow: the journal names the held profile and its gateway" grep -q \
        "\"killSwitchProfiles\":\[{\"gateway\":\"$BED_GW_ADDR\",\"profileID\":\"$id\"}\]" \
        /run/torvane/journal.json
    leak_counter_remove
    survived "$flow"
    reply=$(T stop-all)
    check "$flow: stop-all: $reply" grep -q '^reply stop-all 0' <<<"$reply"
    restored "$flow: stop-all while the kill switch holds" "$W/base"
    check "$flow: the journal is gone" test ! -e /run/torvane/journal.json
    check "$flow: the status no longer holds" bash -c '! "$0" --socket "$1" status | grep -q killSwitchHolding' "$TC" "$S"

    flow="connect after recovery"
    start_everything "$flow"
    check "$flow: ping through it" ping -c 1 -W 3 "$BED_LAN_ADDR"
    if [ -n "$stray" ]; then
        check "$flow: the stray charon in the daemon's service group was ended" \
            logged "TorvaneHelper: ended pid $stray ($F/charon), left in the helper's own service group"
        check "$flow: …and is gone" eventually 5 ended "$stray"
    fi
    survived "$flow"

    # The held profile reconnects and owns the table again.
    flow="reconnect while held"
    sigkill
    launch
    check "$flow: held again" eventually 10 bash -c \
        '"$0" --socket "$1" status | grep -q "\"killSwitchHolding\":true"' "$TC" "$S"
    start_everything "$flow"
    check "$flow: the reconnect ends the hold" eventually 5 logged \
        "TorvaneHelper: kill switch hold ended: the tunnels that asked for it are back"
    check "$flow: the status no longer holds" bash -c '! "$0" --socket "$1" status | grep -q killSwitchHolding' "$TC" "$S"
    check "$flow: ping through the tunnel" ping -c 1 -W 3 "$BED_LAN_ADDR"
    reply=$(T stop "$id")
    check "$flow: stop: $reply" grep -q '^reply stop 0 Disconnected' <<<"$reply"
    restored "$flow: a stop after the reconnect" "$W/base"
    survived "$flow"
    daemon_stop
    kill "$box" 2>/dev/null || true
    grep -E "TorvaneHelper: (the previous helper|restored|restore|ended pid|force-kill|tracked|kill switch)" \
        "$W/helper.out" | sed 's/^/journal_e2e: daemon: /'
    echo "journal_e2e: somebody else's processes (pid start port), all alive at the end:"
    sed 's/^/journal_e2e:   in the daemon'"'"'s PID namespace: /' "$F/inner.list"
    daemon_summary journal_e2e
}
export -f inner
bed_private_with_outside inner
sed 's/^/journal_e2e:   outside it: /' "$F/outer.list"
