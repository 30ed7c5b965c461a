# shellcheck shell=bash
# What a namespace test compares to prove the daemon left nothing behind,
# and waiting for the daemon's asynchronous reactions. Source it after
# checks.sh; the functions are exported for scripts that run their checks in
# another bash.
#   eventually SECONDS COMMAND...   retries COMMAND every 0.1 s until it succeeds
#   machine_snapshot                routes of every table, rules, resolv.conf,
#                                   IPv6 sysctls, the whole nftables ruleset
#   restored WHAT BASELINE-FILE     a counted check: the snapshot equals the
#                                   baseline within 15 s (prints the diff if not)
#   leak_counter_add LINK GATEWAY   counts, after the kill switch, every packet
#                                   leaving LINK that is not IKE/ESP to GATEWAY,
#                                   the host's own and those it forwards
#   leak_count / leak_counter_remove

eventually() {
    local limit=$1 i
    shift
    for ((i = 0; i < limit * 10; i++)); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

machine_snapshot() {
    ip route show table all
    echo "--- rules"
    ip rule
    echo "--- resolv.conf"
    cat /etc/resolv.conf
    echo "--- ipv6"
    sysctl net.ipv6.conf 2>/dev/null | sort
    echo "--- nft"
    nft list ruleset
}

# Turning IPv6 back on re-adds the link-local addresses at once, but their
# local routes only once duplicate address detection is done.
machine_settled() { [ -z "$(ip -6 addr show tentative)" ]; }

machine_same_as() { # machine_same_as BASELINE-FILE
    machine_settled && [ "$(machine_snapshot)" = "$(cat "$1")" ]
}

restored() {
    if eventually 15 machine_same_as "$2"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "FAILED: $1 restores the client namespace:" >&2
        diff "$2" <(machine_snapshot) >&2 || true
    fi
}

leak_counter_add() {
    nft -f - <<EOF
table inet torvane_test_leak {
    counter leak {}
    chain out {
        type filter hook postrouting priority 10; policy accept;
        oifname != "$1" return
        ip daddr $2 udp dport { 500, 4500 } return
        ip daddr $2 ip protocol esp return
        counter name leak
    }
}
EOF
}
leak_count() { nft list counter inet torvane_test_leak leak | awk '/packets/ {print $2}'; }
leak_counter_remove() { nft delete table inet torvane_test_leak; }

export -f eventually machine_snapshot machine_settled machine_same_as restored
export -f leak_counter_add leak_count leak_counter_remove
