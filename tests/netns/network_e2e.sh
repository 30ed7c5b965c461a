#!/usr/bin/env bash
# The daemon's network changes end to end: routes, DNS, the local DNS proxy,
# IPv6 leak prevention and the kill switch, made by torvane-helper in the
# client namespace of the test bed for real tunnels, and each of them undone
# byte for byte however the tunnels go (stop, stop-all, SIGTERM, force-kill).
#
#   network_e2e.sh HELPER TESTCLIENT
#
# The daemon and its client run in the bed's private client context (own PID
# namespace, private /run), where the gateway's and LAN's namespaces and the
# gateway's charon cannot be reached. Such steps (reading the packet counters
# there, killing the gateway's charon) go to this outer shell through a pair
# of FIFOs: `outside CMD` runs CMD here and hands back its output and status.
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
: "${BED_PREFIX:=tvn-$$}"
bed_daemon_up "$1" "$2" dnsmasq getent
# The routing protocol number every route of the daemon carries.
export ROUTE_PROTOCOL=116

# Counters on the gateway's client-side link (plain ICMP to the LAN host
# against encapsulated ESP) and in the LAN namespace (DNS queries from the
# tunnel's pool); they sit before everything else, so nothing hides a packet.
bed_gateway_exec nft -f - <<EOF
table inet tvn_watch {
    counter plain {}
    counter encap {}
    chain pre {
        type filter hook prerouting priority -300; policy accept;
        iifname "$p-g" ip daddr $BED_LAN_ADDR icmp type echo-request counter name plain
        iifname "$p-g" ip daddr $BED_GW_ADDR udp dport 4500 counter name encap
    }
}
EOF
bed_lan_exec nft -f - <<EOF
table inet tvn_watch {
    counter queries {}
    chain pre {
        type filter hook prerouting priority -300; policy accept;
        iifname "$p-l" ip saddr $BED_POOL udp dport 53 counter name queries
    }
}
EOF

# A DNS server only the LAN knows, under its own process name so that no
# check for the daemon's dnsmasq confuses the two.
cp "$(command -v dnsmasq)" "$BED_WORK/lan-dns"
bed_lan_exec "$BED_WORK/lan-dns" --keep-in-foreground --conf-file=/dev/null --no-resolv \
    --no-hosts --user=root --group=root --listen-address="$BED_LAN_ADDR" --bind-interfaces \
    --pid-file="$BED_WORK/lan-dns.pid" --address=/only-lan.test/10.200.0.99 \
    >"$BED_WORK/lan-dns.out" 2>&1 &
bed_track_pid $!

# counter_of NS-KIND NAME prints a named counter's packet count.
counter_of() {
    local ns
    case $1 in
    gw) ns=$BED_NS_GW ;;
    lan) ns=$BED_NS_LAN ;;
    esac
    ip netns exec "$ns" nft list counter inet tvn_watch "$2" | awk '/packets/ {print $2}'
}
kill_gateway_charon() {
    kill -KILL "$BED_GW_PID" || return 1
    # Reaping it here keeps the shell's "Killed" job notice out of the output.
    wait "$BED_GW_PID" 2>/dev/null || true
}

bed_make_profile full psk user=user02 name=Full remoteTS=0.0.0.0/0 >/dev/null
bed_make_profile first psk user=user03 name=First routes=$BED_LAN_NET priority=0 >/dev/null
bed_make_profile second psk user=user04 name=Second routes=$BED_LAN_NET priority=1 >/dev/null
bed_make_profile dns psk user=user05 name=Dns routes=$BED_LAN_NET dnsServers=$BED_LAN_ADDR \
    searchDomains=corp.tvn.test,lab.tvn.test >/dev/null
bed_make_profile dnsproxy psk user=user06 name=DnsProxy routes=$BED_LAN_NET \
    dnsServers=$BED_LAN_ADDR dnsmasqEnabled=true >/dev/null
# A profile's own proxy text: one that only forwards, and one that hides a
# directive in the second half of a line dnsmasq reads in 1 KiB chunks.
bed_make_profile ownproxy psk user=user10 name=OwnProxy routes=$BED_LAN_NET dnsmasqEnabled=true \
    dnsmasqConfig="$(printf 'listen-address=127.0.0.1\nbind-interfaces\nport=53\nno-hosts\nno-resolv\nserver=/only-lan.test/%s\n' \
        "$BED_LAN_ADDR")" >/dev/null
bed_make_profile hiddenproxy psk user=user12 name=HiddenProxy routes=$BED_LAN_NET \
    dnsServers=$BED_LAN_ADDR dnsmasqEnabled=true \
    dnsmasqConfig="$(printf 'listen-address=127.0.0.1\nport=53\n#%s%s\n' "$(head -c 1023 /dev/zero | tr '\0' a)" \
        "log-facility=$BED_WORK/hidden.log")" >/dev/null
bed_make_profile v6 psk user=user07 name=V6 remoteTS=0.0.0.0/0 preventIPv6Leak=true >/dev/null
bed_make_profile everything psk user=user08 name=Everything remoteTS=0.0.0.0/0 \
    dnsServers=$BED_LAN_ADDR searchDomains=corp.tvn.test dnsmasqEnabled=true \
    preventIPv6Leak=true killSwitchEnabled=true >/dev/null
bed_make_profile killswitch psk user=user09 name=KillSwitch remoteTS=0.0.0.0/0 \
    killSwitchEnabled=true >/dev/null

inner() {
    set -u
    local passed=0 failed=0
    vip_of() { sed -n 's/^reply start 0 Connected (\([0-9.]*\))$/\1/p' <<<"$1"; }
    route_of() { ip route show "$1"; }
    route_has() { ip route show "$1" | grep -q "$2"; }
    no_dnsmasq() { ! pgrep -x dnsmasq >/dev/null; }
    no_killswitch() { ! nft list table inet torvane_killswitch >/dev/null 2>&1; }

    launch
    T subscribe --seconds 600 >"$W/callbacks.log" 2>&1 &
    local subscriber=$!
    local reply vip vip1 vip2 before after n

    # --- Full tunnel: both halves of the address space through ipsec0, the
    # gateway itself around it, and LAN traffic only inside ESP.
    # Positive control first: a plain ping is counted (and dropped) there.
    before=$(outside counter_of gw plain)
    ping -c 1 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
    after=$(outside counter_of gw plain)
    check "the plain-ICMP counter sees a ping in the clear ($before -> $after)" test "$after" -gt "$before"

    reply=$(start_profile full)
    check "full tunnel connects: $reply" grep -Eq '^reply start 0 Connected' <<<"$reply"
    check "0.0.0.0/1 through ipsec0: $(route_of 0.0.0.0/1)" grep -q 'dev ipsec0' <<<"$(route_of 0.0.0.0/1)"
    check "128.0.0.0/1 through ipsec0: $(route_of 128.0.0.0/1)" grep -q 'dev ipsec0' <<<"$(route_of 128.0.0.0/1)"
    check "host route to the gateway via the physical gateway: $(route_of "$BED_GW_ADDR")" \
        grep -Eq "^$BED_GW_ADDR via $BED_GW_ADDR dev $p-c" <<<"$(route_of "$BED_GW_ADDR")"
    local plain0 esp0
    plain0=$(outside counter_of gw plain)
    esp0=$(outside counter_of gw encap)
    check "full tunnel: ping to the LAN host" ping_ok "$BED_LAN_ADDR"
    check "full tunnel: no plain ICMP on the gateway's link" test "$(outside counter_of gw plain)" = "$plain0"
    check "full tunnel: ESP in UDP 4500 on the gateway's link" test "$(outside counter_of gw encap)" -gt "$esp0"
    check "full tunnel stops" test "$(T stop "$(id_of full)")" = "reply stop 0 Disconnected Full"
    check "full tunnel: gateway host route gone" test -z "$(route_of "$BED_GW_ADDR/32")"

    # --- Two tunnels for one network: the higher priority owns the route,
    # and a new order moves it and the source address of new traffic.
    reply=$(start_profile first)
    vip1=$(vip_of "$reply")
    check "first connects: $reply" test -n "$vip1"
    reply=$(start_profile second)
    vip2=$(vip_of "$reply")
    check "second connects: $reply" test -n "$vip2"
    check "the LAN route uses the first VIP: $(route_of "$BED_LAN_NET")" \
        grep -q "dev ipsec0 .*src $vip1\b" <<<"$(route_of "$BED_LAN_NET")"
    n=$(wc -l <"$W/callbacks.log")
    reply=$(T priorities "$(id_of second)" "$(id_of first)")
    check "the LAN route moves to the second VIP: $(route_of "$BED_LAN_NET")" \
        eventually 10 route_has "$BED_LAN_NET" "dev ipsec0 .*src $vip2\b"
    check "one LAN route only: $(route_of "$BED_LAN_NET")" test "$(route_of "$BED_LAN_NET" | wc -l)" = 1
    logged_since() { tail -n "+$((n + 1))" "$W/callbacks.log" | grep -q "$1"; }
    check "'route removed: ' logged" eventually 5 logged_since "route removed: $BED_LAN_NET"
    check "'route add ' logged" eventually 5 logged_since "route add $BED_LAN_NET"
    check "the kernel picks the second VIP: $(ip route get "$BED_LAN_ADDR")" \
        grep -q "src $vip2\b" <<<"$(ip route get "$BED_LAN_ADDR")"
    check "ping from the second VIP is answered" ping_ok "$BED_LAN_ADDR"
    T stop "$(id_of first)" >/dev/null
    T stop "$(id_of second)" >/dev/null
    check "no LAN route after both stopped" test -z "$(route_of "$BED_LAN_NET")"

    # --- Our routes carry our own protocol number, and a route to the same
    # network that someone else added (another protocol, another metric)
    # survives the reconcile that moves ours and the disconnects.
    ours() { ip route show proto "$ROUTE_PROTOCOL"; }
    foreign() { ip route show "$BED_LAN_NET" proto static; }
    ip route add "$BED_LAN_NET" dev "$p-c" metric 700 proto static
    vip1=$(vip_of "$(start_profile first)")
    check "exactly the tunnel's route is ours: '$(ours)'" \
        test "$(ours | sed 's/ *$//')" = "$BED_LAN_NET dev ipsec0 scope link src $vip1"
    vip2=$(vip_of "$(start_profile second)")
    T priorities "$(id_of second)" "$(id_of first)" >/dev/null
    check "ours moves to the second VIP: '$(ours)'" eventually 10 bash -c \
        '[ "$(ip route show proto "$0" | sed "s/ *$//")" = "$1 dev ipsec0 scope link src $2" ]' \
        "$ROUTE_PROTOCOL" "$BED_LAN_NET" "$vip2"
    check "the foreign route survives the reconcile: '$(foreign)'" test -n "$(foreign)"
    T stop "$(id_of first)" >/dev/null
    T stop "$(id_of second)" >/dev/null
    check "nothing of ours after both stopped: '$(ours)'" test -z "$(ours)"
    check "the foreign route survives the disconnect: '$(foreign)'" \
        test "$(foreign | sed 's/ *$//')" = "$BED_LAN_NET dev $p-c scope link metric 700"
    ip route del "$BED_LAN_NET" dev "$p-c" metric 700 proto static

    # --- DNS: the tunnel's servers while connected, the original bytes after.
    local original=$W/resolv.original
    cp /etc/resolv.conf "$original"
    start_profile dns >/dev/null
    check "resolv.conf has the tunnel's server" grep -qx "nameserver $BED_LAN_ADDR" /etc/resolv.conf
    check "resolv.conf has the search domains" grep -Eq '^(search|domain) .*corp\.tvn\.test.*lab\.tvn\.test' /etc/resolv.conf
    T stop "$(id_of dns)" >/dev/null
    check "resolv.conf byte-identical after stop" cmp -s /etc/resolv.conf "$original"

    # A DHCP client rewriting the file meanwhile: fault_matrix.sh, scenario 4.

    # The local DNS proxy forwards through the tunnel to a server only the
    # LAN has.
    before=$(outside counter_of lan queries)
    start_profile dnsproxy >/dev/null
    check "dnsmasq runs" pgrep -x dnsmasq >/dev/null
    check "resolv.conf points at the local proxy" grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    reply=$(timeout 20 getent hosts only-lan.test || true)
    check "only-lan.test resolves through the proxy: '$reply'" grep -q '^10\.200\.0\.99 ' <<<"$reply"
    after=$(outside counter_of lan queries)
    check "the LAN server was asked from the tunnel ($before -> $after)" test "$after" -gt "$before"
    T stop "$(id_of dnsproxy)" >/dev/null
    check "dnsmasq gone after stop" eventually 5 no_dnsmasq
    check "resolv.conf byte-identical after the proxy" cmp -s /etc/resolv.conf "$original"

    # The profile's own text, forwarding one domain to the LAN server, runs
    # as nobody and answers through the tunnel.
    before=$(outside counter_of lan queries)
    reply=$(start_profile ownproxy)
    check "own proxy text: connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    local dpid
    dpid=$(pgrep -x dnsmasq || true)
    check "own proxy text: dnsmasq runs as nobody ($(ps -o user= -p "$dpid"))" \
        test "$(ps -o user= -p "$dpid" | tr -d ' ')" = nobody
    reply=$(timeout 20 getent hosts only-lan.test || true)
    check "own proxy text: only-lan.test resolves: '$reply'" grep -q '^10\.200\.0\.99 ' <<<"$reply"
    after=$(outside counter_of lan queries)
    check "own proxy text: asked through the tunnel ($before -> $after)" test "$after" -gt "$before"
    T stop "$(id_of ownproxy)" >/dev/null
    check "own proxy text: dnsmasq gone after stop" eventually 5 no_dnsmasq

    # The hidden directive is refused before dnsmasq sees it: the tunnel
    # falls back to its own DNS server, and no proxy runs.
    reply=$(start_profile hiddenproxy)
    check "hidden directive: the tunnel still connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    local refused="dnsmasq config line 3 is longer than 1000 bytes"
    check "hidden directive: the fallback is logged" grep -q \
        "dnsmasq failed to start: $refused — falling back to direct DNS servers" "$W/helper.out"
    check "hidden directive: the tunnel said so" grep -q "dnsmasq failed: $refused" "$W/callbacks.log"
    check "hidden directive: no dnsmasq runs" no_dnsmasq
    check "hidden directive: nothing was logged to the hidden file" test ! -e "$W/hidden.log"
    check "hidden directive: resolv.conf names the tunnel's server" \
        grep -qx "nameserver $BED_LAN_ADDR" /etc/resolv.conf
    reply=$(timeout 20 getent hosts only-lan.test || true)
    check "hidden directive: only-lan.test resolves directly: '$reply'" grep -q '^10\.200\.0\.99 ' <<<"$reply"
    T stop "$(id_of hiddenproxy)" >/dev/null
    check "resolv.conf byte-identical after the refused proxy" cmp -s /etc/resolv.conf "$original"
    grep -E "dnsmasq: launching|dnsmasq failed to start" "$W/helper.out" | cut -c1-300 |
        sed 's/^/network_e2e: daemon: /'

    # --- IPv6 leak prevention on every interface that had IPv6 on.
    local v6base=$W/ipv6.before ifaces=() f dev
    sysctl net.ipv6.conf 2>/dev/null | sort >"$v6base"
    for f in /proc/sys/net/ipv6/conf/*/disable_ipv6; do
        dev=${f%/disable_ipv6}
        dev=${dev##*/}
        case $dev in all | default | lo) continue ;; esac
        [ "$(cat "$f")" = 0 ] && ifaces+=("$dev")
    done
    check "the client namespace has interfaces with IPv6 on (${ifaces[*]})" test "${#ifaces[@]}" -gt 0
    start_profile v6 >/dev/null
    for dev in "${ifaces[@]}"; do
        check "IPv6 off on $dev while connected" \
            test "$(cat "/proc/sys/net/ipv6/conf/$dev/disable_ipv6")" = 1
    done
    T stop "$(id_of v6)" >/dev/null
    check "every interface's IPv6 sysctls are back after stop" \
        eventually 10 bash -c '[ "$(sysctl net.ipv6.conf 2>/dev/null | sort)" = "$(cat "$0")" ]' "$v6base"

    # --- Restoration after every way a tunnel can end, with every kind of
    # change made each time.
    local base=$W/snapshot.before way code
    eventually 15 machine_settled || true
    machine_snapshot >"$base"
    for way in stop stop-all SIGTERM force-kill; do
        reply=$(start_profile everything)
        check "$way: everything connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
        check "$way: the namespace was changed" bash -c '! [ "$(cat "$0")" = "$1" ]' "$base" "$(machine_snapshot)"
        case $way in
        stop) T stop "$(id_of everything)" >/dev/null ;;
        stop-all) T stop-all >/dev/null ;;
        SIGTERM)
            kill -TERM "$hp"
            code=0
            wait "$hp" || code=$?
            check "SIGTERM: exit status 0 (got $code)" test "$code" = 0
            launch
            ;;
        force-kill) T force-kill >/dev/null ;;
        esac
        restored "$way" "$base"
        check "$way: no dnsmasq left" eventually 5 no_dnsmasq
    done

    # --- Kill switch: nothing but IKE/ESP to the gateway and DHCP leaves the
    # client's link once the gateway is gone. Our own counter sits in an
    # output chain after the kill switch's.
    nft -f - <<EOF
table inet tvn_leak {
    counter leak {}
    chain out {
        type filter hook output priority 10; policy accept;
        oifname != "$p-c" return
        ip daddr $BED_GW_ADDR udp dport { 500, 4500 } return
        ip daddr $BED_GW_ADDR ip protocol esp return
        udp sport 68 udp dport 67 return
        counter name leak
    }
}
EOF
    leaks() { nft list counter inet tvn_leak leak | awk '/packets/ {print $2}'; }
    before=$(leaks)
    ping -c 1 -W 1 "$BED_GW_ADDR" >/dev/null 2>&1 || true
    check "the leak counter sees a ping to the gateway without the kill switch" test "$(leaks)" -gt "$before"
    reply=$(start_profile killswitch)
    check "kill switch tunnel connects: $reply" grep -q '^reply start 0 Connected' <<<"$reply"
    check "the kill switch table is loaded" nft list table inet torvane_killswitch >/dev/null
    check "kill switch: ping through the tunnel" ping_ok "$BED_LAN_ADDR"
    check "the gateway's charon is killed" outside kill_gateway_charon
    before=$(leaks)
    ping -c 2 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
    check "kill switch: a ping to the gateway fails" bash -c '! ping -c 2 -W 1 "$0" >/dev/null 2>&1' "$BED_GW_ADDR"
    after=$(leaks)
    check "kill switch: nothing else leaves the link ($before -> $after)" test "$after" = "$before"
    T stop "$(id_of killswitch)" >/dev/null
    check "no kill switch table after stop" eventually 5 no_killswitch
    nft delete table inet tvn_leak

    kill "$subscriber" 2>/dev/null || true
    daemon_summary network_e2e
}
export -f inner

bed_private_with_outside inner
