#!/usr/bin/env bash
# Torvane in one command: installs what is missing, builds into build/demo,
# builds the namespace test bed (a client, a strongSwan gateway and a host
# behind it, each in its own network namespace), starts torvane-helper in the
# client namespace and drives it with torvanectl: add a profile, connect,
# status, ping the host behind the gateway through the tunnel, disconnect.
# Everything it starts or creates (namespaces, processes, /etc/netns entries,
# the throw-away home with the profile and its keyring) is removed at the end,
# also on failure or Ctrl-C. Nothing touches this machine's own network.
#
#   sudo scripts/demo.sh            (DEMO_JOBS=N limits the build's jobs)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

if [ "$(id -u)" -ne 0 ]; then
    echo "demo: run as root (sudo scripts/demo.sh): it creates network namespaces" >&2
    exit 1
fi

say() { printf '\n== %s\n' "$*"; }

say "installing what is missing"
scripts/setup-deps.sh
echo "all dependencies are installed"

say "building into build/demo"
build=$root/build/demo
jobs=${DEMO_JOBS:-$(nproc)}
log=$build/demo-build.log
mkdir -p "$build"
if ! { cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF &&
    cmake --build "$build" -j"$jobs" --target torvane-helper torvanectl torvane_resources; } >"$log" 2>&1; then
    tail -n 40 "$log" >&2
    echo "demo: the build failed; the whole log is $log" >&2
    exit 1
fi
export HELPER=$build/helper/torvane-helper
export CTL=$build/Torvane/cli/torvanectl
echo "built $HELPER"
echo "built $CTL"

# shellcheck source=../tests/netns/testbed.sh
source "$root/tests/netns/testbed.sh"
bed_require_root

finish() {
    local status=$?
    say "tearing down"
    # bed_down reads the exit status from $? (it shows the gateway's log on
    # failure).
    exit_with() { return "$1"; }
    if [ "$status" -eq 0 ]; then
        bed_down
    else
        exit_with "$status" || bed_down || true
    fi
    local left
    left=$(ip netns list | awk -v p="$BED_PREFIX-" 'index($1, p) == 1' || true)
    if [ -z "$left" ] && [ ! -e "/etc/netns/$BED_NS_CLIENT" ] && [ ! -e "${BED_WORK:-/nonexistent}" ]; then
        echo "removed the namespaces, their processes, /etc/netns/$BED_NS_CLIENT and $BED_WORK"
    else
        echo "demo: could not remove everything: $left" >&2
    fi
    exit "$status"
}
trap finish EXIT

say "bringing up the test bed (client, gateway, LAN host)"
bed_up
echo "client $BED_CLIENT_ADDR in $BED_NS_CLIENT, gateway $BED_GW_ADDR in $BED_NS_GW," \
    "host $BED_LAN_ADDR behind it in $BED_NS_LAN"
printf '%s\n' "$(bed_user_psk user01)" >"$BED_WORK/demo.psk"
chmod 0600 "$BED_WORK/demo.psk"

# Runs in the client namespace, in a PID namespace of its own: the daemon,
# its charon and torvanectl see only each other, and everything in it ends
# with it.
inner() {
    set -euo pipefail
    local W=$BED_WORK
    export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config XDG_RUNTIME_DIR=$W/home/run
    export TORVANE_HELPER_SOCKET=$W/helper.sock
    mkdir -p "$XDG_CONFIG_HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
    run() {
        local shown="" arg
        for arg in "$@"; do
            [[ $arg == *[[:space:]]* ]] && arg="'$arg'"
            shown+=" $arg"
        done
        printf '\n$%s\n' "$shown"
        "$@"
    }
    torvanectl() { "$CTL" "$@"; }

    # The profile's pre-shared key goes to a Secret Service: a private
    # session bus with an unlocked gnome-keyring, gone with this namespace.
    local bus
    bus=$(dbus-daemon --session --fork --address="unix:path=$W/bus" --print-address=1 --print-pid=1)
    local dbus_pid=${bus##*$'\n'}
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$W/bus
    printf 'demo-keyring' | gnome-keyring-daemon --foreground --unlock --components=secrets \
        >"$W/keyring.out" 2>&1 &
    local keyring_pid=$!
    for _ in $(seq 50); do
        secret-tool search --all service none >/dev/null 2>&1 && break
        sleep 0.1
    done

    echo "starting torvane-helper in the client namespace"
    "$HELPER" --socket "$TORVANE_HELPER_SOCKET" --trust-client "$CTL" >"$W/helper.out" 2>&1 &
    local helper_pid=$!
    bed_wait_for_socket "$TORVANE_HELPER_SOCKET"

    run torvanectl add --name "Demo PSK" --server "$BED_GW_ADDR" --method psk \
        --local-id "user01@$BED_PSK_DOMAIN" --ca-cert "$W/pki/ca.crt" \
        --remote-ts "$BED_LAN_NET" --psk-file "$W/demo.psk"
    run torvanectl list
    run torvanectl connect "Demo PSK"
    run torvanectl status
    run ping -c 3 -W 2 "$BED_LAN_ADDR"
    run ip route show "$BED_LAN_NET"
    run torvanectl disconnect "Demo PSK"
    run torvanectl status

    kill -TERM "$helper_pid" "$keyring_pid" "$dbus_pid" 2>/dev/null || true
    wait "$helper_pid" "$keyring_pid" 2>/dev/null || true
}
export -f inner
say "torvanectl against the daemon in the client namespace"
bed_client_private bash -c inner
say "the demo worked"
