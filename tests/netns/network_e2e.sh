#!/usr/bin/env bash
# The daemon's network changes end to end, then faults from outside it, on
# one test bed.
#
# First the changes: routes, DNS, the local DNS proxy, IPv6 leak prevention
# and the kill switch, made by torvane-helper in the client namespace for
# real tunnels, and each of them undone byte for byte however the tunnels go
# (stop, stop-all, SIGTERM, force-kill).
#
# Then the fault matrix, one scenario after another: charon SIGKILLed under
# two tunnels, the DNS proxy killed, the gateway cut off and back,
# resolv.conf rewritten by a "DHCP client", the primary link down and up, a
# client hanging up mid-command, 100 clients polling status while tunnels
# come and go, and 10,000 malformed wire messages. After each one the daemon
# must still answer and, once its tunnels are stopped, the client namespace
# must be exactly as it was before the scenario's first connect.
#
#   network_e2e.sh HELPER TESTCLIENT WIRE_ABUSE
#
# The daemon and its clients run in the bed's private client context (own PID
# namespace, so `pgrep -x charon` there sees only this test's charon; private
# /run), where the gateway's and LAN's namespaces cannot be reached. Such
# steps (reading the packet counters there, killing the gateway's charon) go
# to this outer shell through `outside`.
set -euo pipefail
# shellcheck source=testbed.sh
source "$(dirname "$0")/testbed.sh"
WA=$(realpath "$3")
export WA
: "${BED_PREFIX:=tvn-$$}"
bed_daemon_up "$1" "$2" dnsmasq getent jq
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

# The resolver the client used before connecting (its resolv.conf names the
# gateway's address), outside every tunnel, knows a name of its own.
cp "$(command -v dnsmasq)" "$BED_WORK/up-dns"
bed_gateway_exec "$BED_WORK/up-dns" --keep-in-foreground --conf-file=/dev/null --no-resolv \
    --no-hosts --user=root --group=root --listen-address="$BED_GW_ADDR" --bind-interfaces \
    --pid-file="$BED_WORK/up-dns.pid" --address=/only-up.test/198.51.100.7 \
    >"$BED_WORK/up-dns.out" 2>&1 &
bed_track_pid $!

# A second uplink for the client, as a laptop's Ethernet beside its Wi-Fi:
# $p-c2 10.10.5.2/24 <-> $p-g2 10.10.5.1/24 in the gateway's namespace.
add_uplink() {
    ip link add "$p-c2" netns "$BED_NS_CLIENT" type veth peer name "$p-g2" netns "$BED_NS_GW" &&
        ip -n "$BED_NS_CLIENT" addr add 10.10.5.2/24 dev "$p-c2" &&
        ip -n "$BED_NS_CLIENT" link set "$p-c2" up &&
        ip -n "$BED_NS_GW" addr add 10.10.5.1/24 dev "$p-g2" &&
        ip -n "$BED_NS_GW" link set "$p-g2" up
}
remove_uplink() { ip -n "$BED_NS_GW" link del "$p-g2"; }

# counter_of NS-KIND NAME prints a named counter's packet count.
counter_of() {
    local ns
    case $1 in
    gw) ns=$BED_NS_GW ;;
    lan) ns=$BED_NS_LAN ;;
    esac
    ip netns exec "$ns" nft list counter inet tvn_watch "$2" | awk '/packets/ {print $2}'
}

# plug_link NAME PEER: an interface appears in the client namespace, down, as
# a USB adapter would: a veth pair to the LAN's namespace.
plug_link() { ip -n "$BED_NS_CLIENT" link add "$1" type veth peer name "$2" netns "$BED_NS_LAN"; }

bed_make_profile nfull psk user=user02 name=Full remoteTS=0.0.0.0/0 >/dev/null
bed_make_profile second psk user=user04 name=Second routes=$BED_LAN_NET priority=1 >/dev/null
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

bed_make_profile full psk user=user13 name=Full remoteTS=0.0.0.0/0 dnsServers=$BED_LAN_ADDR \
    searchDomains=full.tvf.test killSwitchEnabled=true keepaliveIP=$BED_LAN_ADDR \
    keepaliveInterval=2 >/dev/null
bed_make_profile split psk user=user14 name=Split routes=$BED_LAN_NET >/dev/null
bed_make_profile proxy psk user=user15 name=Proxy routes=$BED_LAN_NET dnsServers=$BED_LAN_ADDR \
    dnsmasqEnabled=true >/dev/null
bed_make_profile dns psk user=user16 name=Dns routes=$BED_LAN_NET dnsServers=$BED_LAN_ADDR \
    searchDomains=corp.tvn.test,lab.tvn.test >/dev/null
bed_make_profile upproxy psk user=user19 name=UpProxy routes=$BED_LAN_NET dnsmasqEnabled=true >/dev/null
bed_make_profile dnsfull psk user=user20 name=DnsFull remoteTS=0.0.0.0/0 dnsServers=$BED_LAN_ADDR >/dev/null
bed_make_profile proxyfull psk user=user05 name=ProxyFull remoteTS=0.0.0.0/0 \
    dnsServers=$BED_LAN_ADDR dnsmasqEnabled=true >/dev/null
bed_make_profile hangup psk user=user17 name=Hangup routes=$BED_LAN_NET >/dev/null
bed_make_profile churn psk user=user18 name=Churn routes=$BED_LAN_NET dnsServers=$BED_LAN_ADDR >/dev/null

network_checks() {
    vip_of() { sed -n 's/^reply start 0 Connected (\([0-9.]*\))$/\1/p' <<<"$1"; }
    route_of() { ip route show "$1"; }
    route_has() { ip route show "$1" | grep -q "$2"; }
    no_dnsmasq() { ! pgrep -x dnsmasq >/dev/null; }
    no_killswitch() { ! nft list table inet torvane_killswitch >/dev/null 2>&1; }

    local reply vip vip1 vip2 before after n

    # --- Full tunnel: both halves of the address space through ipsec0, the
    # gateway itself around it, and LAN traffic only inside ESP.
    # Positive control first: a plain ping is counted (and dropped) there.
    before=$(outside counter_of gw plain)
    ping -c 1 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
    after=$(outside counter_of gw plain)
    check "the plain-ICMP counter sees a ping in the clear ($before -> $after)" test "$after" -gt "$before"

    reply=$(start_profile nfull)
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
    check "full tunnel stops" test "$(T stop "$(id_of nfull)")" = "reply stop 0 Disconnected Full"
    check "full tunnel: gateway host route gone" test -z "$(route_of "$BED_GW_ADDR/32")"

    # --- A default route without a gateway (PPP, a mobile modem). Without
    # the link's own /24 the gateway is reached only through that route, so
    # without an exclusion onto its device IKE and ESP would enter the tunnel
    # itself. A switch to a gateway and back (a path change) moves the
    # exclusion each time.
    local link_net=10.10.0.0/24 nogw_table
    exclusion() { ip route show "$BED_GW_ADDR" proto "$ROUTE_PROTOCOL" | sed 's/ *$//'; }
    exclusion_is() { [ "$(exclusion)" = "$1" ]; }
    ip route replace default dev "$p-c"
    ip route del "$link_net" dev "$p-c"
    nogw_table=$(ip route show table all)
    reply=$(start_profile nfull)
    check "gateway-less default: full tunnel connects: $reply" grep -Eq '^reply start 0 Connected' <<<"$reply"
    check "gateway-less default: the exclusion is ours, on the device: '$(exclusion)'" \
        exclusion_is "$BED_GW_ADDR dev $p-c scope link"
    check "gateway-less default: the gateway is reached outside the tunnel: $(ip route get "$BED_GW_ADDR")" \
        grep -q "^$BED_GW_ADDR dev $p-c " <<<"$(ip route get "$BED_GW_ADDR")"
    plain0=$(outside counter_of gw plain)
    esp0=$(outside counter_of gw encap)
    check "gateway-less default: ping to the LAN host" ping_ok "$BED_LAN_ADDR"
    check "gateway-less default: no plain ICMP on the gateway's link" test "$(outside counter_of gw plain)" = "$plain0"
    check "gateway-less default: ESP in UDP 4500 on the gateway's link" test "$(outside counter_of gw encap)" -gt "$esp0"
    ip route add "$link_net" dev "$p-c" proto kernel scope link src "$BED_CLIENT_ADDR"
    ip route replace default via "$BED_GW_ADDR" dev "$p-c"
    check "gateway-less default: a gateway appears, the exclusion goes through it: '$(exclusion)'" \
        eventually 15 exclusion_is "$BED_GW_ADDR via $BED_GW_ADDR dev $p-c"
    ip route replace default dev "$p-c"
    check "gateway-less default: the gateway goes, the exclusion is on the device again: '$(exclusion)'" \
        eventually 15 exclusion_is "$BED_GW_ADDR dev $p-c scope link"
    check "gateway-less default: ping after the path changes" eventually 10 ping_ok "$BED_LAN_ADDR"
    ip route del "$link_net" dev "$p-c"
    check "gateway-less default: the tunnel stops" test "$(T stop "$(id_of nfull)")" = "reply stop 0 Disconnected Full"
    nogw_back() { [ "$(ip route show table all)" = "$nogw_table" ]; }
    check "gateway-less default: the routes are as before the connect" eventually 10 nogw_back
    ip route add "$link_net" dev "$p-c" proto kernel scope link src "$BED_CLIENT_ADDR"
    ip route replace default via "$BED_GW_ADDR" dev "$p-c"
    grep -E "gateway exclusion route" "$W/helper.out" | tail -n 6 | sed 's/^/network_e2e: daemon: /'

    # --- Two tunnels for one network: the higher priority owns the route,
    # and a new order moves it and the source address of new traffic.
    reply=$(start_profile split)
    vip1=$(vip_of "$reply")
    check "first connects: $reply" test -n "$vip1"
    reply=$(start_profile second)
    vip2=$(vip_of "$reply")
    check "second connects: $reply" test -n "$vip2"
    check "the LAN route uses the first VIP: $(route_of "$BED_LAN_NET")" \
        grep -q "dev ipsec0 .*src $vip1\b" <<<"$(route_of "$BED_LAN_NET")"
    n=$(wc -l <"$W/callbacks.log")
    reply=$(T priorities "$(id_of second)" "$(id_of split)")
    check "the LAN route moves to the second VIP: $(route_of "$BED_LAN_NET")" \
        eventually 10 route_has "$BED_LAN_NET" "dev ipsec0 .*src $vip2\b"
    check "one LAN route only: $(route_of "$BED_LAN_NET")" test "$(route_of "$BED_LAN_NET" | wc -l)" = 1
    logged_since() { tail -n "+$((n + 1))" "$W/callbacks.log" | grep -q "$1"; }
    check "'route removed: ' logged" eventually 5 logged_since "route removed: $BED_LAN_NET"
    check "'route add ' logged" eventually 5 logged_since "route add $BED_LAN_NET"
    check "the kernel picks the second VIP: $(ip route get "$BED_LAN_ADDR")" \
        grep -q "src $vip2\b" <<<"$(ip route get "$BED_LAN_ADDR")"
    check "ping from the second VIP is answered" ping_ok "$BED_LAN_ADDR"
    T stop "$(id_of split)" >/dev/null
    T stop "$(id_of second)" >/dev/null
    check "no LAN route after both stopped" test -z "$(route_of "$BED_LAN_NET")"

    # --- Our routes carry our own protocol number, and a route to the same
    # network that someone else added (another protocol, another metric)
    # survives the reconcile that moves ours and the disconnects.
    ours() { ip route show proto "$ROUTE_PROTOCOL"; }
    foreign() { ip route show "$BED_LAN_NET" proto static; }
    ip route add "$BED_LAN_NET" dev "$p-c" metric 700 proto static
    vip1=$(vip_of "$(start_profile split)")
    check "exactly the tunnel's route is ours: '$(ours)'" \
        test "$(ours | sed 's/ *$//')" = "$BED_LAN_NET dev ipsec0 scope link src $vip1"
    vip2=$(vip_of "$(start_profile second)")
    T priorities "$(id_of second)" "$(id_of split)" >/dev/null
    check "ours moves to the second VIP: '$(ours)'" eventually 10 bash -c \
        '[ "$(ip route show proto "$0" | sed "s/ *$//")" = "$1 dev ipsec0 scope link src $2" ]' \
        "$ROUTE_PROTOCOL" "$BED_LAN_NET" "$vip2"
    check "the foreign route survives the reconcile: '$(foreign)'" test -n "$(foreign)"
    T stop "$(id_of split)" >/dev/null
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

    # The local DNS proxy forwards through the tunnel to a server only the
    # LAN has.
    before=$(outside counter_of lan queries)
    start_profile proxy >/dev/null
    check "dnsmasq runs" pgrep -x dnsmasq >/dev/null
    check "resolv.conf points at the local proxy" grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    reply=$(timeout 20 getent hosts only-lan.test || true)
    check "only-lan.test resolves through the proxy: '$reply'" grep -q '^10\.200\.0\.99 ' <<<"$reply"
    after=$(outside counter_of lan queries)
    check "the LAN server was asked from the tunnel ($before -> $after)" test "$after" -gt "$before"
    T stop "$(id_of proxy)" >/dev/null
    check "dnsmasq gone after stop" eventually 5 no_dnsmasq
    check "resolv.conf byte-identical after the proxy" cmp -s /etc/resolv.conf "$original"

    # The profile's own text, forwarding one domain to the LAN server, runs
    # as nobody and answers through the tunnel.
    before=$(outside counter_of lan queries)
    connects ownproxy "own proxy text:"
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
    connects hiddenproxy "hidden directive: the tunnel still"
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
    # A proxy without servers of its own forwards to the resolver the
    # machine used before connecting: a name only that one knows resolves.
    connects upproxy "proxy without servers:"
    check "proxy without servers: resolv.conf points at the proxy" \
        grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    check "proxy without servers: it forwards to the previous resolver" \
        grep -qx "server=$BED_GW_ADDR" /run/torvane/run/dnsmasq.conf
    reply=$(timeout 20 getent hosts only-up.test || true)
    check "proxy without servers: only-up.test resolves: '$reply'" grep -q '^198\.51\.100\.7 ' <<<"$reply"
    T stop "$(id_of upproxy)" >/dev/null
    check "resolv.conf byte-identical after the proxy without servers" cmp -s /etc/resolv.conf "$original"
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

    # --- Interfaces that appear while IPv6 is held off (a USB adapter, a
    # phone's hotspot) lose it once they come up, also when plugged in again,
    # and get their own settings back at the stop; one gone by then is left
    # to the kernel. The next daemon restores one that a killed daemon held
    # off.
    local late=$p-v1 gone=$p-v2 late_before
    ipv6_of() {
        local k
        for k in disable_ipv6 autoconf accept_ra; do
            printf '%s=%s ' "$k" "$(cat "/proc/sys/net/ipv6/conf/$1/$k" 2>/dev/null)"
        done
    }
    ipv6_off() { [ "$(cat "/proc/sys/net/ipv6/conf/$1/disable_ipv6" 2>/dev/null)" = 1 ]; }
    late_back() { [ "$(ipv6_of "$late")" = "$late_before" ]; }
    connects v6 "late interfaces: leak prevention"
    check "late interfaces: two are plugged in" outside "plug_link $late $p-w1 && plug_link $gone $p-w2"
    late_before=$(ipv6_of "$late")
    check "late interface: IPv6 on while it is down ($late_before)" \
        grep -q '^disable_ipv6=0 ' <<<"$late_before"
    ip link set "$late" up
    ip link set "$gone" up
    check "late interface: IPv6 off once it is up" eventually 5 ipv6_off "$late"
    check "vanishing interface: IPv6 off once it is up" eventually 5 ipv6_off "$gone"
    ip link del "$gone"
    # Unplugged and plugged in again: the kernel's fresh settings, IPv6 on.
    ip link del "$late"
    outside "plug_link $late $p-w1"
    ip link set "$late" up
    check "replugged interface: IPv6 off again once it is up" eventually 5 ipv6_off "$late"
    T stop "$(id_of v6)" >/dev/null
    check "late interface: its IPv6 settings are back after stop ($(ipv6_of "$late"))" eventually 10 late_back
    check "vanishing interface: no failed restore" fails logged "IPv6 restore FAILED on '$gone'"
    check "vanishing interface: left to the kernel" logged "IPv6 restore: '$gone' is gone"
    ip link set "$late" down
    connects v6 "late interface, daemon killed:"
    ip link set "$late" up
    check "late interface, daemon killed: IPv6 off once it is up" eventually 5 ipv6_off "$late"
    kill -KILL "$hp"
    wait "$hp" 2>/dev/null || true
    launch --trust-client "$WA"
    check "late interface, daemon killed: the next daemon restores its settings" eventually 10 late_back
    check "every interface's IPv6 sysctls are back after the replay" \
        eventually 10 bash -c '[ "$(sysctl net.ipv6.conf 2>/dev/null | grep -v "\.$0\." | sort)" = "$(cat "$1")" ]' "$late" "$v6base"
    ip link del "$late"
    grep -E "IPv6 (disabled on|restored on|restore)|restored ipv6" "$W/helper.out" | grep -F "$p-v" |
        sed 's/^/network_e2e: daemon: /'

    # --- Restoration after every way a tunnel can end, with every kind of
    # change made each time.
    local base=$W/snapshot.before way code
    eventually 15 machine_settled || true
    machine_snapshot >"$base"
    for way in stop stop-all SIGTERM force-kill; do
        connects everything "$way: everything"
        check "$way: the namespace was changed" bash -c '! [ "$(cat "$0")" = "$1" ]' "$base" "$(machine_snapshot)"
        case $way in
        stop) T stop "$(id_of everything)" >/dev/null ;;
        stop-all) T stop-all >/dev/null ;;
        SIGTERM)
            kill -TERM "$hp"
            code=0
            wait "$hp" || code=$?
            check "SIGTERM: exit status 0 (got $code)" test "$code" = 0
            launch --trust-client "$WA"
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
    connects killswitch "kill switch tunnel"
    check "the kill switch table is loaded" nft list table inet torvane_killswitch >/dev/null
    check "kill switch: ping through the tunnel" ping_ok "$BED_LAN_ADDR"
    check "the gateway's charon is killed" outside bed_gateway_kill
    before=$(leaks)
    ping -c 2 -W 1 "$BED_LAN_ADDR" >/dev/null 2>&1 || true
    check "kill switch: a ping to the gateway fails" bash -c '! ping -c 2 -W 1 "$0" >/dev/null 2>&1' "$BED_GW_ADDR"
    after=$(leaks)
    check "kill switch: nothing else leaves the link ($before -> $after)" test "$after" = "$before"
    T stop "$(id_of killswitch)" >/dev/null
    check "no kill switch table after stop" eventually 5 no_killswitch
    nft delete table inet tvn_leak
    outside bed_gateway_restart >/dev/null
}

fault_checks() {
    local reply base=$W/baseline
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
    # The network checks' SIGTERM ended the first subscription.
    T subscribe --seconds 1800 >>"$W/callbacks.log" 2>&1 &
    subscriber=$!
    local id

    # --- 1: charon dies under two tunnels. It sends no event; the full
    # tunnel's keepalive notices, the reconnect relaunches charon, and the
    # split tunnel, whose SA died too, must not stay "connected" without one.
    scenario 1 "charon SIGKILLed under full (DNS, kill switch, keepalive) + split: seen down, both heal, status = charon SAs, ping"
    connects full "1: full"
    connects split "1: split"
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
    connects split "1b: split"
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
    connects proxy "2: proxy tunnel"
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

    # --- 2b: the proxy of a profile without servers dies and cannot start
    # again (its program now exits at once): DNS must go straight to the
    # servers it forwarded to, never stay on a dead 127.0.0.1.
    scenario 2b "dnsmasq of a profile without servers SIGKILLed, its restart fails: resolv.conf names the previous resolver, its name resolves; stop restores resolv.conf bytes"
    connects upproxy "2b: proxy without servers"
    dpid=$(pgrep -x dnsmasq || true)
    local bundled
    bundled=$(dirname "$HELPER")/Resources/dnsmasq/sbin/dnsmasq
    # Only this test's private mount table sees the replacement.
    check "2b: the proxy's program is replaced by one that fails" mount --bind /bin/false "$bundled"
    check "2b: dnsmasq ($dpid) is SIGKILLed" kill -KILL $dpid
    check "2b: within 35 s resolv.conf names the previous resolver" \
        eventually 35 grep -qx "nameserver $BED_GW_ADDR" /etc/resolv.conf
    check "2b: the fallback is logged" logged "falling back to direct DNS servers"
    reply=$(timeout 20 getent hosts only-up.test || true)
    check "2b: only-up.test still resolves: '$reply'" grep -q '^198\.51\.100\.7 ' <<<"$reply"
    umount "$bundled"
    scenario_end

    # --- 3: the gateway drops everything on its link; the keepalive gives up
    # on the tunnel, the kill switch keeps everything in, and the tunnel
    # heals once the gateway answers again.
    scenario 3 "gateway drops all traffic: reconnecting seen, no leak under kill switch, heals when back, ping"
    connects full "3: full"
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
    connects full "5: full"
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
    connects split "8: split"
    local before_status before_rss after_rss abuse
    before_status=$(status_json)
    before_rss=$(rss)
    abuse=$("$WA" "$S" 10000 50)
    after_rss=$(rss)
    echo "fault_matrix: 8: $abuse; daemon RSS $before_rss kB -> $after_rss kB"
    check "8: every message reached the daemon ($abuse)" grep -q ' refused 0 ' <<<"$abuse"
    check "8: no connection was left hanging ($abuse)" grep -q ' silent 0 ' <<<"$abuse"
    check "8: the daemon answers" answers
    # The live counters move while the abuse subscribes; the tunnel must not.
    check "8: no tunnel changed" test "$(status_json | jq -c 'del(.tunnels[].tunnelSA)')" = \
        "$(jq -c 'del(.tunnels[].tunnelSA)' <<<"$before_status")"
    check "8: ping through the tunnel" ping_ok "$BED_LAN_ADDR"
    # AddressSanitizer keeps freed memory in quarantine (256 MiB by default),
    # so a sanitized daemon's RSS grows without a leak: a wider bound there.
    local growth=65536
    grep -qa __asan_init "$HELPER" && growth=$((512 * 1024))
    check "8: RSS stays bounded ($before_rss -> $after_rss kB, at most +$growth kB)" \
        test "$after_rss" -lt $((before_rss + growth))
    scenario_end

    # --- 9: the network changes under a DNS tunnel: the default route moves
    # to a second uplink, whose DHCP client writes its resolvers into
    # resolv.conf. The override follows; the stop leaves the new network's
    # resolvers, not the old network's saved bytes.
    scenario 9 "network switch under a DNS tunnel: default route to a second uplink + its resolv.conf: override follows, stop leaves exactly the new network's bytes"
    local newnet=$W/resolv.newnet
    printf '# second uplink\nnameserver 10.10.5.1\nsearch uplink2.tvf.test\n' >"$newnet"
    local oldnet=$W/resolv.oldnet
    sed -n '/^--- resolv.conf/,/^--- ipv6/p' "$base" | sed '1d;$d' >"$oldnet"
    first_network() {
        ip route replace default via "$BED_GW_ADDR" dev "$p-c"
        cat "$oldnet" >/etc/resolv.conf
    }
    ours() { grep -qx "nameserver $BED_LAN_ADDR" /etc/resolv.conf; }
    check "9: a second uplink is added" outside add_uplink
    connects dns "9: dns"
    check "9: the override is in place" ours
    ip route replace default via 10.10.5.1 dev "$p-c2"
    check "9: the daemon follows the new primary link" eventually 10 logged "primary service changed ($p-c → $p-c2)"
    check "9: the override is on the new network" eventually 10 logged "DNS set on primary service $p-c2"
    # The new network's DHCP client writes its resolvers (after the daemon's
    # own write: two in-place writers at once would mix their bytes).
    sleep 0.5
    cat "$newnet" >/etc/resolv.conf
    check "9: the override is re-applied over them" eventually 10 ours
    T stop "$(id_of dns)" >/dev/null
    check "9: after stop resolv.conf holds exactly the new network's bytes: '$(tr '\n' ' ' </etc/resolv.conf)'" \
        cmp -s /etc/resolv.conf "$newnet"
    # The same switch while the daemon is busy (a stop held for the DNS
    # proxy's grace period): by the time it sees the route change, the new
    # network's resolvers are already in the file, and the old network's
    # restore must leave them alone.
    first_network
    connects proxy "9: proxy"
    check "9: the proxy's override is in place" grep -qx 'nameserver 127.0.0.1' /etc/resolv.conf
    kill -STOP $(pgrep -x dnsmasq)
    T stop "$(id_of proxy)" >/dev/null &
    local stopper=$!
    sleep 1
    ip route replace default via 10.10.5.1 dev "$p-c2"
    cat "$newnet" >/etc/resolv.conf
    wait "$stopper" || true
    check "9: switched during the teardown: the new network's bytes stay: '$(tr '\n' ' ' </etc/resolv.conf)'" \
        cmp -s /etc/resolv.conf "$newnet"
    first_network
    outside remove_uplink
    scenario_end

    # --- 10: DNS leaks, counted on both uplinks after every firewall has had
    # its say: 200 lookups of distinct names under a full tunnel with DNS,
    # under the proxy, and while the tunnel reconnects with the kill switch.
    scenario 10 "DNS leak count on two uplinks: 200 lookups each under full+DNS, full+proxy, and reconnecting with the kill switch: 0 DNS packets outside the tunnel"
    check "10: a second uplink is added" outside add_uplink
    ip route add default via 10.10.5.1 dev "$p-c2" metric 50
    nft -f - <<EOF
table inet tvn_dnscount {
    counter out {}
    chain post {
        type filter hook postrouting priority 300; policy accept;
        oifname { "$p-c", "$p-c2" } meta l4proto { udp, tcp } th dport 53 counter name out
    }
}
EOF
    dns_out() { nft list counter inet tvn_dnscount out | awk '/packets/ {print $2}'; }
    # 200 distinct names, 50 at a time; each lookup gets 2 s.
    lookups() {
        local i j batch
        for ((i = 0; i < 200; i += 50)); do
            batch=()
            for ((j = i; j < i + 50; j++)); do
                timeout 2 getent hosts "n$j-$1.leak.test" >/dev/null 2>&1 &
                batch+=($!)
            done
            # Not a bare wait: the daemon is a child of this shell too.
            wait "${batch[@]}" || true
        done
    }
    local c0 counts=() way
    c0=$(dns_out)
    lookups control
    counts+=("control without a tunnel: $(($(dns_out) - c0))")
    check "10: the counter sees lookups without a tunnel ($c0 -> $(dns_out))" test "$(dns_out)" -gt "$c0"
    for way in dnsfull proxyfull; do
        connects "$way" "10: $way"
        c0=$(dns_out)
        lookups "$way"
        counts+=("$way: $(($(dns_out) - c0))")
        check "10: $way: no DNS packet outside the tunnel ($c0 -> $(dns_out))" test "$(dns_out)" = "$c0"
        T stop "$(id_of "$way")" >/dev/null
    done
    connects full "10: full with the kill switch"
    cut_gateway_from_inside() { outside cut_gateway; }
    check "10: the gateway is cut off" cut_gateway_from_inside
    check "10: the tunnel is seen reconnecting" eventually 90 ever_state full reconnecting
    c0=$(dns_out)
    lookups reconnecting
    counts+=("reconnecting with the kill switch ($(state_of full)): $(($(dns_out) - c0))")
    check "10: reconnecting: no DNS packet outside the tunnel ($c0 -> $(dns_out))" test "$(dns_out)" = "$c0"
    outside heal_gateway
    echo "fault_matrix: 10: DNS packets outside the tunnel per 200 lookups: ${counts[*]}"
    nft delete table inet tvn_dnscount
    ip route del default via 10.10.5.1 dev "$p-c2" metric 50
    outside remove_uplink
    scenario_end

    # --- 11: /etc/resolv.conf is a symlink (resolvconf, a network manager,
    # resolved): after every way a tunnel can end it is the same symlink
    # again. The daemon starts anew on a private /etc with such a link.
    scenario 11 "symlinked resolv.conf: the same symlink after stop, stop-all, SIGTERM, force-kill and the journal replay after SIGKILL"
    daemon_stop
    mkdir -p "$W/etc-upper" "$W/etc-work" /run/tvn-nm
    sed -n '/^--- resolv.conf/,/^--- ipv6/p' "$base" | sed '1d;$d' >/run/tvn-nm/resolv.conf
    cp /run/tvn-nm/resolv.conf "$W/resolv.target"
    mount -t overlay tvn-etc -o "lowerdir=/etc,upperdir=$W/etc-upper,workdir=$W/etc-work" /etc
    rm /etc/resolv.conf
    ln -s /run/tvn-nm/resolv.conf /etc/resolv.conf
    launch --trust-client "$WA"
    linked() { [ "$(readlink /etc/resolv.conf)" = /run/tvn-nm/resolv.conf ]; }
    for way in stop stop-all SIGTERM force-kill SIGKILL; do
        connects dns "11: $way: dns"
        check "11: $way: overridden as a plain file" bash -c \
            '[ ! -L /etc/resolv.conf ] && grep -qx "nameserver $0" /etc/resolv.conf' "$BED_LAN_ADDR"
        case $way in
        stop) T stop "$(id_of dns)" >/dev/null ;;
        stop-all) T stop-all >/dev/null ;;
        SIGTERM) daemon_stop && launch --trust-client "$WA" ;;
        force-kill) T force-kill >/dev/null ;;
        SIGKILL)
            kill -KILL "$hp"
            wait "$hp" 2>/dev/null || true
            launch --trust-client "$WA"
            ;;
        esac
        check "11: $way: the same symlink again ($(ls -l /etc/resolv.conf | sed 's/.* -> /-> /'))" eventually 10 linked
        check "11: $way: its target untouched" cmp -s /run/tvn-nm/resolv.conf "$W/resolv.target"
    done
    T stop-all >/dev/null
    daemon_stop
    umount /etc
    launch --trust-client "$WA"
    scenario_end

    grep -E "keepalive ping failed|reconnect|relaunching|dnsmasq (stopped|exited)|healthy after|path changed" \
        "$W/helper.out" | sed 's/^/fault_matrix: daemon: /' | tail -n 40
    echo "fault_matrix: every row also checks: stop-all, the namespace equals the baseline," \
        "version and status answer, no live dnsmasq"
    echo "fault_matrix: scenario | checks passed | what was checked"
    printf 'fault_matrix: %s\n' "${rows[@]}"
    [ -z "${FM_KEEP_LOG:-}" ] || cp "$W/helper.out" "$FM_KEEP_LOG"
}

inner() {
    set -u
    local passed=0 failed=0
    launch --trust-client "$WA"
    T subscribe --seconds 1800 >"$W/callbacks.log" 2>&1 &
    local subscriber=$!
    network_checks
    fault_checks
    kill "$subscriber" 2>/dev/null || true
    daemon_stop
    daemon_summary network_e2e
}
export -f inner network_checks fault_checks
bed_private_with_outside inner
