#!/usr/bin/env bash
# Runs the Secret Service tests against a real gnome-keyring-daemon on a
# private session bus, so the user's own keyring and bus are never touched.
#
#   secret_service_session.sh TEST_BINARY
#
#   [dbus-daemon, own config, socket in $work]
#        |  org.freedesktop.secrets
#   [gnome-keyring-daemon --components=secrets, login keyring in $work]
#        |
#   [TEST_BINARY SecretService.*]      then, with a dead bus address:
#   [TEST_BINARY NoSecretService.*]
#
# Stops exactly the two daemons it started, by PID, and removes $work.
set -euo pipefail

binary=${1:?usage: secret_service_session.sh TEST_BINARY}
for tool in dbus-daemon dbus-send gnome-keyring-daemon secret-tool; do
    command -v "$tool" >/dev/null || { echo "secret_service: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-secrets.XXXXXX")
bus_pid=
keyring_pid=

stop_pid() {
    local pid=$1
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    for _ in $(seq 50); do
        kill -0 "$pid" 2>/dev/null || return 0
        sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
}

cleanup() {
    stop_pid "$keyring_pid"
    stop_pid "$bus_pid"
    rm -rf "$work"
}
trap cleanup EXIT

# No service directories: nothing on this bus is started on demand, so the
# only Secret Service is the one below.
cat >"$work/bus.conf" <<CONF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$work/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
CONF
dbus-daemon --config-file="$work/bus.conf" --fork --print-address=3 --print-pid=4 \
    3>"$work/address" 4>"$work/pid"
bus_pid=$(head -n1 "$work/pid")
address=$(head -n1 "$work/address")

mkdir -m 0700 "$work/home" "$work/runtime"
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
export XDG_RUNTIME_DIR=$work/runtime DBUS_SESSION_BUS_ADDRESS=$address
unset DISPLAY WAYLAND_DISPLAY

# An empty password creates and unlocks a fresh login keyring.
gnome-keyring-daemon --foreground --unlock --components=secrets <<<'' \
    >"$work/keyring.log" 2>&1 &
keyring_pid=$!

ready=false
for _ in $(seq 100); do
    if dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null |
        grep -q 'boolean true'; then
        ready=true
        break
    fi
    kill -0 "$keyring_pid" 2>/dev/null || break
    sleep 0.1
done
if ! $ready; then
    echo "secret_service: gnome-keyring-daemon did not come up" >&2
    cat "$work/keyring.log" >&2
    exit 1
fi

status=0
"$binary" --gtest_filter='SecretService.*' || status=1
# The dead-bus case builds its own unreachable address; it must run in a
# process that has not connected to the bus yet.
"$binary" --gtest_filter='NoSecretService.*' || status=1
exit $status
