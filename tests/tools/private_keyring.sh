# shellcheck shell=bash
# A Secret Service of a test's own: a private bus as the session bus, with no
# service folders (nothing on it is started on demand, so the only Secret
# Service is this one) and an unlocked gnome-keyring-daemon on it. The user's
# own bus and keyring are never touched. Set HOME and the XDG folders first:
# the keyring lives there.
#
#   keyring_up DIR   starts both, their files in DIR; exports
#                    DBUS_SESSION_BUS_ADDRESS; fails (after printing the
#                    keyring's output) when no write succeeds within 10 s
#   keyring_down     stops both, by PID

KEYRING_BUS_CONF=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/private-system-bus.conf
export KEYRING_BUS_CONF

keyring_up() {
    local dir=$1
    KEYRING_BUS_PID=$(dbus-daemon --config-file="$KEYRING_BUS_CONF" \
        --address="unix:path=$dir/session-bus" --fork --print-pid=1) || return 1
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$dir/session-bus
    # An empty password creates and unlocks a fresh login keyring.
    gnome-keyring-daemon --foreground --unlock --components=secrets <<<'' >"$dir/keyring.out" 2>&1 &
    KEYRING_PID=$!
    # The name is taken a moment before the unlocked collection exists: ready
    # once a write succeeds.
    local i
    for ((i = 0; i < 100; i++)); do
        if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
            org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
            grep -q 'boolean true' &&
            secret-tool store --label=probe service torvane-keyring-probe account probe \
                <<<probe >/dev/null 2>&1; then
            secret-tool clear service torvane-keyring-probe account probe 2>/dev/null
            return 0
        fi
        kill -0 "$KEYRING_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "gnome-keyring-daemon did not come up:" >&2
    cat "$dir/keyring.out" >&2
    return 1
}

keyring_down() {
    local pid i
    for pid in ${KEYRING_PID:-} ${KEYRING_BUS_PID:-}; do
        kill "$pid" 2>/dev/null || continue
        for ((i = 0; i < 50; i++)); do
            kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL "$pid" 2>/dev/null || true
    done
    KEYRING_PID='' KEYRING_BUS_PID=''
}
