#!/usr/bin/env bash
# Screenshots of the tray application with a real tunnel, for the numbers a
# scripted daemon cannot give: traffic counters, negotiated algorithms and
# throughput.
#
#   scripts/screenshots-bed.sh OUTDIR
#
# Needs root: it builds the namespace test bed (tests/netns/testbed.sh), runs
# the real daemon in the client namespace, starts a PSK tunnel "Office" to the
# bed's gateway and sends a few megabytes through it to the host behind the
# gateway. The app, trayer (the tray host) and xdotool run in the client
# namespace too, on an Xvfb started here, outside: its socket
# /tmp/.X11-unix/XN is a file, which a network namespace reaches. Saves:
#   details.png   the configuration window with "Office" selected and its
#                 connection details (algorithms, times, addresses, counters,
#                 the throughput of the last minute)
#   tooltip.png   the tray with the tooltip of its icon, which carries the
#                 tunnel's traffic
#   status.json   the daemon's status at the time of details.png (the same
#                 numbers, as text)
#   leakcheck.png "Check for Leaks…" from the window: the daemon's real
#                 findings for this tunnel
#
# TORVANE_BUILD_DIR picks the build folder (default build/debug). Every
# process started here is ended by its PID, and the namespaces are removed on
# exit.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
OUT=$(mkdir -p "$1" && cd "$1" && pwd)
build=${TORVANE_BUILD_DIR:-$repo/build/debug}
jobs=${TORVANE_JOBS:-2}
cmake --build "$build" -j "$jobs" --target torvane torvane-helper torvane_resources \
    torvane_testclient torvane_screenshot >/dev/null
APP=$build/Torvane/ui/torvane
SHOT=$build/tests/tools/torvane-screenshot
export APP SHOT OUT

unset LANGUAGE LC_ALL LC_MESSAGES
export LANG=${LANG:-C.UTF-8}
# shellcheck source=tests/netns/testbed.sh
source "$repo/tests/netns/testbed.sh"
bed_daemon_up "$build/helper/torvane-helper" "$build/tests/tools/torvane-testclient" \
    python3 Xvfb trayer xdotool

# A display number nobody uses; TCP stays off.
n=90
while [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$W/xvfb.log" 2>&1 &
bed_track_pid $!
eventually 10 test -S "/tmp/.X11-unix/X$n"
export DISPLAY=:$n

id=$(bed_make_profile office psk user=user05 name=Office)

# The app's store holds the same profile, so that the daemon's tunnel is
# the app's "Office". QSettings' INI form of a byte array, quoted because
# the JSON has commas.
mkdir -p "$W/home/.config/kelvor"
python3 - "$P/office.profile.json" "$W/home/.config/kelvor/Torvane.conf" <<'PY'
import sys
profile = open(sys.argv[1]).read().strip()
value = ("@ByteArray([" + profile + "])").replace("\\", "\\\\").replace('"', '\\"')
open(sys.argv[2], "w").write('[General]\nProfiles="' + value + '"\n')
PY

# A sink in the LAN namespace for whatever arrives on port 5502.
bed_lan_exec python3 -c '
import socket
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(("0.0.0.0", 5502)); s.listen(4)
while True:
    c, _ = s.accept()
    while c.recv(65536): pass
    c.close()
' &
bed_track_pid $!
export BED_LAN_ADDR id

inner() {
    set -euo pipefail
    # Global, for the EXIT trap.
    pids=()
    # shellcheck disable=SC2034 # counted by check()
    local passed=0 failed=0
    export HOME=$W/home XDG_CONFIG_HOME=$W/home/.config XDG_RUNTIME_DIR=$W/runtime
    export TORVANE_HELPER_SOCKET=$S QT_QPA_PLATFORM=xcb
    # No session bus: the secret store reads nothing, and the app needs
    # nothing from it since the tunnel is started by the test client.
    export DBUS_SESSION_BUS_ADDRESS=unix:path=$W/no-bus
    mkdir -p "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    # shellcheck disable=SC2317 # run by the EXIT trap
    stop_all() {
        local i
        for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
            kill "${pids[i]}" 2>/dev/null || true
            wait "${pids[i]}" 2>/dev/null || true
        done
        daemon_stop
    }
    trap stop_all EXIT
    geometry() {
        local wid
        wid=$(xdotool search --onlyvisible --name "$1" | head -n 1)
        [[ -n $wid ]] || return 1
        xdotool getwindowgeometry --shell "$wid" |
            awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}'
    }

    launch --trust-client "$APP"
    connects office Office
    if [[ $failed -ne 0 ]]; then
        tail -n 20 "$W/helper.out" >&2
        return 1
    fi
    trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
        >"$W/trayer.log" 2>&1 &
    pids+=($!)
    eventually 5 xdotool search --name '^panel$' >/dev/null
    "$APP" >"$W/app.log" 2>&1 &
    pids+=($!)
    eventually 10 xdotool search --classname torvane >/dev/null

    # About 25 s of traffic that rises and falls, so that the chart has a
    # shape: 100 kB to 1.6 MB per second out, and the replies' ACKs in.
    python3 -c '
import math, socket, sys, time
s = socket.create_connection((sys.argv[1], 5502), timeout=10)
start = time.time()
while time.time() - start < 25:
    t = time.time() - start
    per_second = 100_000 + 1_500_000 * (0.5 + 0.5 * math.sin(t / 3))
    s.sendall(b"\0" * int(per_second / 10))
    time.sleep(0.1)
s.close()' "$BED_LAN_ADDR" &
    local sender=$!
    pids+=("$sender")

    # Configuration…: the fourth enabled item with one connected profile
    # (Office, Disconnect All, Forcibly Stop…, Configuration…).
    local x y w h
    read -r x y w h < <(geometry '^panel$')
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    sleep 0.6
    xdotool key Down Down Down Down Return
    local title='^Torvane( Configuration|-Einstellungen)$'
    eventually 5 xdotool search --onlyvisible --name "$title" >/dev/null
    sleep 0.5
    read -r x y w h < <(geometry "$title")
    xdotool mousemove $((x + 40)) $((y + 49)) click 1

    # While the traffic still flows, with most of its minute in the chart.
    sleep 18
    T status >"$OUT/status.json" || true
    read -r x y w h < <(geometry "$title")
    "$SHOT" "$OUT/details.png" "$x" "$y" "$w" "$h"
    echo "saved $OUT/details.png"
    wait "$sender" || true

    # Away from the window, then onto the tray icon; Qt shows the tooltip
    # after the pointer rests there.
    xdotool search --onlyvisible --name "$title" windowminimize 2>/dev/null || true
    read -r x y w h < <(geometry '^panel$')
    xdotool mousemove 400 400
    sleep 0.3
    xdotool mousemove $((x + w / 2)) $((y + h / 2))
    sleep 0.3
    xdotool mousemove $((x + w / 2 + 1)) $((y + h / 2))
    sleep 2
    "$SHOT" "$OUT/tooltip.png" $((x + w - 320)) 0 320 100
    echo "saved $OUT/tooltip.png"

    # "Check for Leaks…" sits in the window's footer, left of the middle.
    read -r x y w h < <(geometry "$title")
    xdotool mousemove $((x + 367)) $((y + h - 21)) click 1
    local leaks='^(Check for Leaks|Auf Lecks prüfen)$'
    eventually 5 xdotool search --onlyvisible --name "$leaks" >/dev/null
    sleep 3 # the daemon's check reads routes, DNS and the firewall
    read -r x y w h < <(geometry "$leaks")
    "$SHOT" "$OUT/leakcheck.png" "$x" "$y" "$w" "$h"
    echo "saved $OUT/leakcheck.png"
}
export -f inner
bed_client_private bash -c inner
