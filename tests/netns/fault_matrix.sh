#!/usr/bin/env bash
# Faults from outside the daemon, one after another on one test bed: charon
# SIGKILLed under two tunnels, the DNS proxy killed, the gateway cut off and
# back, resolv.conf rewritten by a "DHCP client", the primary link down and
# up, a client hanging up mid-command, 100 clients polling status while
# tunnels come and go, and 10,000 malformed wire messages. After each one the
# daemon must still answer and, once its tunnels are stopped, the client
# namespace must be exactly as it was before the first connect.
#
#   fault_matrix.sh HELPER TESTCLIENT WIRE_ABUSE
#
# As in network_e2e.sh, the daemon and its clients run in the bed's private
# client context (own PID namespace, so `pgrep -x charon` there sees only
# this test's charon); steps on the gateway go to this outer shell through
# `outside`.
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
WA=$(realpath "$3")
export WA
: "${BED_PREFIX:=tvf-$$}"
bed_daemon_up "$1" "$2" dnsmasq jq

# The gateway stops answering on its client-side link, and comes back.
cut_gateway() {
    bed_gateway_exec nft -f - <<EOF
table inet fm_cut {
    chain pre {
        type filter hook prerouting priority -400; policy accept;
        iifname "$p-g" drop
    }
    chain out {
        type filter hook output priority -400; policy accept;
        oifname "$p-g" drop
    }
}
EOF
}
heal_gateway() { bed_gateway_exec nft delete table inet fm_cut; }

L=$BED_LAN_NET
bed_make_profile full psk user=user12 name=Full remoteTS=0.0.0.0/0 dnsServers=$BED_LAN_ADDR \
    searchDomains=full.tvf.test killSwitchEnabled=true keepaliveIP=$BED_LAN_ADDR \
    keepaliveInterval=2 >/dev/null
bed_make_profile split psk user=user13 name=Split routes=$L >/dev/null
bed_make_profile proxy psk user=user14 name=Proxy routes=$L dnsServers=$BED_LAN_ADDR \
    dnsmasqEnabled=true >/dev/null
bed_make_profile dns psk user=user15 name=Dns routes=$L dnsServers=$BED_LAN_ADDR \
    searchDomains=dns.tvf.test >/dev/null
bed_make_profile hangup psk user=user16 name=Hangup routes=$L >/dev/null
bed_make_profile churn psk user=user17 name=Churn routes=$L dnsServers=$BED_LAN_ADDR >/dev/null

inner() {
    set -u
    local passed=0 failed=0 hp reply base=$W/baseline
    answers() { T version >/dev/null; }
    status_json() { T status | sed -n 's/^status //p'; }
    # state_of NAME: the tunnel's state in the daemon's status, empty if absent.
    state_of() {
        status_json | jq -r --arg id "$(id_of "$1")" '.tunnels[] | select(.profileID == $id) | .state'
    }
    state_is() { [ "$(state_of "$1")" = "$2" ]; }
    # ever_state NAME STATE: some status callback showed the tunnel in STATE.
    ever_state() {
        tail -n "+$((cb_mark + 1))" "$W/callbacks.log" | sed -n 's/^callback statusChanged //p' |
            jq -r --arg id "$(id_of "$1")" '.tunnels[] | select(.profileID == $id) | .state' |
            grep -qx "$2"
    }
    sas() { "$BED_SWANCTL" --list-sas --uri unix:///run/torvane/run/charon.vici 2>/dev/null; }
    # Every tunnel the status calls connected has its CHILD SA in charon.
    consistent() {
        local id listing
        listing=$(sas)
        for id in $(status_json | jq -r '.tunnels[] | select(.state == "connected") | .profileID'); do
            grep -q "ov-${id,,}" <<<"$listing" || return 1
        done
    }
    rss() { awk '/^VmRSS/ {print $2}' "/proc/$hp/status"; }
    # A killed child stays a zombie until the daemon reaps it: only a live
    # dnsmasq counts.
    dnsmasq_alive() {
        local pid
        for pid in $(pgrep -x dnsmasq); do
            [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ] || return 0
        done
        return 1
    }

    # One row per scenario: its number, checks passed of run, what it checks.
    local rows=() s_passed s_failed s_name s_what cb_mark=0
    scenario() {
        s_name=$1 s_what=$2 s_passed=$passed s_failed=$failed
        cb_mark=$(wc -l <"$W/callbacks.log")
        echo "fault_matrix: --- scenario $s_name: $s_what"
    }
    # Every scenario ends the same way: tunnels stopped, the namespace as at
    # the start, the daemon answering.
    scenario_end() {
        reply=$(T stop-all)
        check "$s_name: stop-all: $reply" grep -q '^reply stop-all 0' <<<"$reply"
        restored "$s_name: stopping the tunnels" "$base"
        check "$s_name: the daemon answers version" bash -c '"$0" --socket "$1" version >/dev/null' "$TC" "$S"
        check "$s_name: the daemon answers status" bash -c '"$0" --socket "$1" status | grep -q "^status {"' "$TC" "$S"
        check "$s_name: no dnsmasq left" eventually 5 fails dnsmasq_alive
        local ok=$((passed - s_passed)) all=$((passed - s_passed + failed - s_failed))
        rows+=("$(printf '%-2s | %3d/%-3d | %s' "$s_name" "$ok" "$all" "$s_what")")
    }

    eventually 15 machine_settled || true
    machine_snapshot >"$base"
    launch --trust-client "$WA"
    T subscribe --seconds 900 >"$W/callbacks.log" 2>&1 &
    local subscriber=$!
    local id

    # --- 1: charon dies under two tunnels. It sends no event; the full
    # tunnel's keepalive notices, the reconnect relaunches charon, and the
    # split tunnel, whose SA died too, must not stay "connected" without one.
    scenario 1 "charon SIGKILLed under full (DNS, kill switch, keepalive) + split: seen down, both heal, status = charon SAs, ping"
    reply=$(start_profile full)
    check "1: full connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    reply=$(start_profile split)
    check "1: split connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "1: both SAs in charon" consistent
    check "1: charon is SIGKILLed" kill -KILL "$(pgrep -x charon)"
    check "1: the full tunnel is seen down (reconnecting)" eventually 90 ever_state full reconnecting
    check "1: the full tunnel is connected again" eventually 60 state_is full connected
    check "1: ping through the healed tunnels" eventually 10 ping_ok "$BED_LAN_ADDR"
    check "1: status agrees with charon for every tunnel ($(status_json | jq -c '[.tunnels[] | {profileName, state}]'))" \
        eventually 30 consistent
    # Its SA died with charon; the relaunched charon's events or the retry
    # watchdog must bring it back too.
    check "1: the split tunnel is connected again" eventually 45 state_is split connected
    check "1: status agrees with charon afterwards" consistent
    scenario_end

    # --- 1b: the same with one split tunnel and no keepalive. Its route went
    # with charon's TUN device, so its traffic now takes the default route in
    # the clear: "connected" in the status would be a lie. The daemon owns
    # charon and must notice its death by itself.
    scenario 1b "charon SIGKILLed under a lone split tunnel, no keepalive: stop-all right after restores; status stops claiming a dead tunnel within 40 s, heals within 45 s more"
    reply=$(start_profile split)
    check "1b: split connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "1b: charon is SIGKILLed" kill -KILL "$(pgrep -x charon)"
    # Nothing relaunches charon before this stop: what the dead charon left
    # in the kernel (its routing rule) is the daemon's to clean up.
    reply=$(T stop-all)
    check "1b: stop-all at once: $reply" grep -q '^reply stop-all 0' <<<"$reply"
    restored "1b: stop-all right after charon died" "$base"
    reply=$(start_profile split)
    check "1b: split connects again: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "1b: charon is SIGKILLed again" kill -KILL "$(pgrep -x charon)"
    check "1b: within 40 s the status no longer claims a tunnel charon does not have" \
        eventually 40 consistent
    echo "fault_matrix: 1b: after the kill the split tunnel is '$(state_of split)'," \
        "route to the LAN: '$(ip route show "$BED_LAN_NET")'"
    # Reported as reconnecting, it must also reconnect (the SA-down re-check
    # or, failing that, the 30 s retry watchdog).
    check "1b: the split tunnel is connected again" eventually 45 state_is split connected
    scenario_end

    # --- 2: the DNS proxy dies under its tunnel. resolv.conf points at
    # 127.0.0.1, so without a proxy the machine has no DNS at all: the
    # daemon's watchdog (every 30 s) starts it again.
    scenario 2 "dnsmasq SIGKILLed under a dnsmasqEnabled tunnel: a new one listens within 35 s, resolv.conf unchanged; stop restores resolv.conf bytes"
    reply=$(start_profile proxy)
    check "2: proxy tunnel connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "2: resolv.conf points at the proxy" grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    local dpid
    dpid=$(pgrep -x dnsmasq || true)
    check "2: dnsmasq runs ($dpid)" test -n "$dpid"
    check "2: dnsmasq is SIGKILLed" kill -KILL $dpid
    another_proxy() { dnsmasq_alive && [ "$(pgrep -x dnsmasq)" != "$dpid" ]; }
    check "2: a new dnsmasq runs within 35 s" eventually 35 another_proxy
    check "2: the daemon said so" logged "dnsmasq exited unexpectedly (status 137) — restarting"
    check "2: it listens on 127.0.0.1:53" bash -c 'ss -Hlun "sport = :53" | grep -qF 127.0.0.1:53'
    check "2: resolv.conf still points at the proxy" grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    check "2: the tunnel is still connected" test "$(state_of proxy)" = connected
    reply=$(T stop "$(id_of proxy)")
    check "2: the tunnel stops: $reply" grep -q '^reply stop 0 Disconnected' <<<"$reply"
    check "2: resolv.conf bytes are the original ones" \
        bash -c 'diff <(sed -n "/^--- resolv.conf/,/^--- ipv6/p" "$0") <(machine_snapshot | sed -n "/^--- resolv.conf/,/^--- ipv6/p")' "$base"
    scenario_end

    # --- 3: the gateway drops everything on its link; the keepalive gives up
    # on the tunnel, the kill switch keeps everything in, and the tunnel
    # heals once the gateway answers again.
    scenario 3 "gateway drops all traffic: reconnecting seen, no leak under kill switch, heals when back, ping"
    reply=$(start_profile full)
    check "3: full connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    # Everything that leaves the client's link other than IKE and ESP to the
    # gateway, counted after the kill switch has had its say.
    leak_counter_add "$p-c" "$BED_GW_ADDR"
    local leaks0
    leaks0=$(leak_count)
    check "3: the gateway is cut off" outside cut_gateway
    cut_seen() { ever_state full reconnecting || ever_state full error; }
    check "3: the tunnel goes reconnecting or error" eventually 90 cut_seen
    ping -c 2 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
    ping -c 2 -W 1 "$BED_GW_ADDR" >/dev/null 2>&1 || true
    check "3: nothing left the link outside IKE/ESP while cut off ($leaks0 -> $(leak_count))" \
        test "$(leak_count)" = "$leaks0"
    check "3: the gateway comes back" outside heal_gateway
    check "3: the tunnel heals" eventually 90 state_is full connected
    check "3: ping through the healed tunnel" eventually 10 ping_ok "$BED_LAN_ADDR"
    check "3: nothing leaked meanwhile ($leaks0 -> $(leak_count))" test "$(leak_count)" = "$leaks0"
    leak_counter_remove
    scenario_end

    # --- 4: a DHCP client rewrites resolv.conf in place during the
    # override. The daemon puts its servers back; a stop gives back what
    # the network says now (the DHCP client's latest bytes), not the stale
    # bytes from before the tunnel.
    scenario 4 "resolv.conf rewritten in place twice: override re-applied each time; stop gives back the latest DHCP bytes (also just before and during the teardown)"
    local original=$W/resolv.original dhcp1=$W/resolv.dhcp1 dhcp2=$W/resolv.dhcp2
    cp /etc/resolv.conf "$original"
    printf 'nameserver 10.10.0.3\nsearch dhcp-one.tvf.test\n' >"$dhcp1"
    printf '# lease 2\nnameserver 10.10.0.4\nnameserver 10.10.0.5\n' >"$dhcp2"
    ours() { grep -qx "nameserver $BED_LAN_ADDR" /etc/resolv.conf; }
    start_profile dns >/dev/null
    check "4: the override is in place" ours
    cat "$dhcp1" >/etc/resolv.conf
    check "4: the override is re-applied after a rewrite" eventually 10 ours
    cat "$dhcp2" >/etc/resolv.conf
    check "4: …and after a second rewrite" eventually 10 ours
    T stop "$(id_of dns)" >/dev/null
    check "4: stop gives back the DHCP client's latest bytes" cmp -s /etc/resolv.conf "$dhcp2"
    # A rewrite the daemon has not seen yet when the stop comes.
    start_profile dns >/dev/null
    cat "$dhcp1" >/etc/resolv.conf
    T stop "$(id_of dns)" >/dev/null
    check "4: a rewrite just before the stop is what comes back: '$(tr '\n' ' ' </etc/resolv.conf)'" \
        cmp -s /etc/resolv.conf "$dhcp1"
    # A rewrite while the teardown runs, before its DNS restore: a stopped
    # dnsmasq holds the teardown for its 3 s grace, so the change notice
    # waits on the engine queue behind the stop.
    start_profile proxy >/dev/null
    check "4: the proxy's override is in place" grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    kill -STOP $(pgrep -x dnsmasq)
    T stop "$(id_of proxy)" >/dev/null &
    local stopper=$!
    sleep 1
    cat "$dhcp2" >/etc/resolv.conf
    wait "$stopper" || true
    check "4: a rewrite during the teardown is what comes back: '$(tr '\n' ' ' </etc/resolv.conf)'" \
        cmp -s /etc/resolv.conf "$dhcp2"
    # The DHCP client goes back to the bed's server.
    cat "$original" >/etc/resolv.conf
    scenario_end

    # --- 5: the primary link goes down and up. The kernel drops every route
    # through it, the default route included, and no DHCP client runs here:
    # the test re-adds the bed's default route as one would. The baseline is
    # the namespace before any tunnel, default route included.
    scenario 5 "primary link down/up, default route re-added: tunnel connected + ping, status = charon SAs, gateway exclusion route back"
    reply=$(start_profile full)
    check "5: full connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "5: a gateway exclusion route is in place: '$(ip route show "$BED_GW_ADDR")'" \
        test -n "$(ip route show "$BED_GW_ADDR")"
    ip link set "$p-c" down
    sleep 2
    ip link set "$p-c" up
    ip route replace default via "$BED_GW_ADDR" dev "$p-c"
    back() { state_is full connected && ping_ok "$BED_LAN_ADDR"; }
    check "5: the tunnel is connected after the link came back" eventually 60 back
    check "5: status agrees with charon" consistent
    # The kernel dropped the gateway exclusion route with the link. Here the
    # gateway is on the link, so IKE still finds it; behind a router its
    # packets would loop into the tunnel: the route must come back.
    check "5: the gateway exclusion route is back: '$(ip route show "$BED_GW_ADDR")'" \
        eventually 10 bash -c '[ -n "$(ip route show "$0")" ]' "$BED_GW_ADDR"
    scenario_end

    # --- 6: a client hangs up before the reply to its start. The start runs
    # on; whatever it ends in must be a state the daemon can stop.
    scenario 6 "client hangs up 0.05 s / 0.4 s into a start: steady state, status = charon SAs, orphan pings and stops"
    local limit
    for limit in 0.05 0.4; do
        timeout "$limit" "$TC" --socket "$S" start "$P/hangup.profile.json" \
            "$P/hangup.secrets.json" >/dev/null 2>&1 || true
        settled() { local s; s=$(state_of hangup); [ -z "$s" ] || [ "$s" = connected ] || [ "$s" = error ]; }
        check "6 ($limit s): the start ends in a steady state" eventually 30 settled
        echo "fault_matrix: 6: after hanging up at $limit s the tunnel is '$(state_of hangup)'"
        check "6 ($limit s): status agrees with charon" consistent
        if state_is hangup connected; then
            check "6 ($limit s): ping through the orphaned tunnel" ping_ok "$BED_LAN_ADDR"
            reply=$(T stop "$(id_of hangup)")
            check "6 ($limit s): it stops: $reply" grep -q '^reply stop 0 Disconnected' <<<"$reply"
        fi
        check "6 ($limit s): the daemon answers" answers
    done
    check "6: a daemon log line or reply went to a closed socket without harm" kill -0 "$hp"
    scenario_end

    # --- 7: 100 clients poll status while tunnels come and go.
    scenario 7 "100 clients polling status during 10 start/stop rounds: no failed or unparsable reply, RSS printed"
    local i pollers=() round bad=0 total=0 unparsed=0
    for ((i = 0; i < 100; i++)); do
        (
            while [ ! -e "$W/poll.stop" ]; do
                if out=$("$TC" --socket "$S" --timeout 30 status 2>&1); then
                    printf '%s\n' "$out"
                else
                    printf 'FAIL %s\n' "$out"
                fi
                sleep 0.02
            done
        ) >"$W/poll.$i" 2>&1 &
        pollers+=($!)
    done
    for ((round = 1; round <= 10; round++)); do
        start_profile split >/dev/null
        start_profile churn >/dev/null
        [ "$round" = 5 ] && T stop "$(id_of split)" >/dev/null
        T stop-all >/dev/null
    done
    touch "$W/poll.stop"
    wait "${pollers[@]}" 2>/dev/null || true
    for ((i = 0; i < 100; i++)); do
        total=$((total + $(wc -l <"$W/poll.$i")))
        bad=$((bad + $(grep -cv '^status {' "$W/poll.$i" || true)))
        sed -n 's/^status //p' "$W/poll.$i" | jq -e -s 'all(.[]; .tunnels | type == "array")' \
            >/dev/null 2>&1 || unparsed=$((unparsed + 1))
    done
    echo "fault_matrix: 7: $total status replies, $bad failed, $unparsed files with unparsable JSON;" \
        "daemon RSS $(rss) kB"
    check "7: many status replies ($total)" test "$total" -ge 1000
    check "7: no status request failed ($bad)" test "$bad" = 0
    check "7: every status reply is a parsable status ($unparsed)" test "$unparsed" = 0
    rm -f "$W/poll."*
    scenario_end

    # --- 8: 10,000 malformed and oversized wire messages. Nothing they do
    # may change a tunnel or grow the daemon without bound.
    scenario 8 "10,000 malformed/oversized messages: all delivered, none left hanging, tunnel unchanged + pings, RSS bound"
    reply=$(start_profile split)
    check "8: split connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    local before_status before_rss after_rss abuse
    before_status=$(status_json)
    before_rss=$(rss)
    abuse=$("$WA" "$S" 10000 50)
    after_rss=$(rss)
    echo "fault_matrix: 8: $abuse; daemon RSS $before_rss kB -> $after_rss kB"
    check "8: every message reached the daemon ($abuse)" grep -q ' refused 0 ' <<<"$abuse"
    check "8: no connection was left hanging ($abuse)" grep -q ' silent 0 ' <<<"$abuse"
    check "8: the daemon answers" answers
    check "8: no tunnel changed" test "$(status_json)" = "$before_status"
    check "8: ping through the tunnel" ping_ok "$BED_LAN_ADDR"
    # AddressSanitizer keeps freed memory in quarantine (256 MiB by default),
    # so a sanitized daemon's RSS grows without a leak: a wider bound there.
    local growth=65536
    grep -qa __asan_init "$HELPER" && growth=$((512 * 1024))
    check "8: RSS stays bounded ($before_rss -> $after_rss kB, at most +$growth kB)" \
        test "$after_rss" -lt $((before_rss + growth))
    scenario_end

    kill "$subscriber" 2>/dev/null || true
    kill -TERM "$hp"
    wait "$hp" 2>/dev/null || true
    if [ "$failed" -ne 0 ]; then
        echo "--- the daemon's output:" >&2
        tail -n 80 "$W/helper.out" >&2
    fi
    grep -E "keepalive ping failed|reconnect|relaunching|dnsmasq (stopped|exited)|healthy after|path changed" \
        "$W/helper.out" | sed 's/^/fault_matrix: daemon: /' | tail -n 40
    echo "fault_matrix: every row also checks: stop-all, the namespace equals the baseline," \
        "version and status answer, no live dnsmasq"
    echo "fault_matrix: scenario | checks passed | what was checked"
    printf 'fault_matrix: %s\n' "${rows[@]}"
    [ -z "${FM_KEEP_LOG:-}" ] || cp "$W/helper.out" "$FM_KEEP_LOG"
    checks_summary fault_matrix
}
export -f inner

bed_private_with_outside inner
