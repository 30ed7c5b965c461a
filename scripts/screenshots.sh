#!/usr/bin/env bash
# Screenshots of the tray application, for looking at it without a desktop.
#
#   scripts/screenshots.sh OUTDIR
#
# Runs on a private Xvfb display with trayer as the tray host (Qt reaches it
# through XEmbed). The app talks to torvane-demo-daemon, a scripted daemon on
# a socket of its own (TORVANE_HELPER_SOCKET), which serves three profiles with
# "Office" connected; nothing touches this machine's network. Saves:
#   tray.png          the tray with the green lock
#   menu.png          the menu opened from the tray icon, the demo daemon's
#                     managed "Head Office" in its own locked section first
#   config-empty.png  the configuration window, nothing selected
#   config-editor.png the same with "Office" selected: its editor and, under
#                     it, the connection details with counters that grow
#   managed.png       "Head Office" selected: the locked, read-only editor
#   log.png           the Log tab with the daemon's lines
#   about.png         the About panel
#   notification.png  "Office" drops and reconnects: with no notification
#                     service on the bus, the tray's own pop-up says so
#   unreachable.png   the menu while the daemon is gone; the app must then
#                     reach the restarted daemon by itself
#   no-tray.png       a second run without a tray host: the window opens at
#                     start and carries the menu
#   reordered.png     the same after dragging "Home" to the top of the user's
#                     profiles (under the managed one), which must
#                     send the new order to the daemon exactly once
#   import-preview.png a third run started with a signed .mobileconfig, as a
#                     file manager opens one: the import's preview sheet
#
# The app speaks the caller's language: LANG=de_DE.UTF-8 (or LANGUAGE=de)
# takes the same pictures in German; the window titles are looked for in
# either language.
#
# TORVANE_BUILD_DIR picks the build folder (default build/debug); the three
# programs are built there if needed. Every process started here is ended by
# its PID on exit.
set -euo pipefail

if [[ $# -ne 1 ]]; then
    echo "usage: $0 OUTDIR" >&2
    exit 2
fi
repo=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "$1" && cd "$1" && pwd)
build=${TORVANE_BUILD_DIR:-$repo/build/debug}
jobs=${TORVANE_JOBS:-2}

for tool in Xvfb trayer xdotool; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is not installed" >&2; exit 1; }
done

if [[ ! -f $build/CMakeCache.txt ]]; then
    cmake -S "$repo" -B "$build" -G Ninja >/dev/null
fi
cmake --build "$build" --target torvane torvane_screenshot torvane_demo_daemon -j "$jobs" >/dev/null
app=$build/Torvane/ui/torvane
shot=$build/tests/tools/torvane-screenshot
daemon=$build/tests/tools/torvane-demo-daemon

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        pid=${pids[i]}
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    local tries=$1
    shift
    for ((t = 0; t < tries; t++)); do
        "$@" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    echo "$0: timed out waiting for: $*" >&2
    return 1
}

config_title='^Torvane( Configuration|-Einstellungen)$'
about_title='^(About|.+ber) Torvane$'

capture() {
    sleep 0.8 # let the last paint reach the server
    "$shot" "$out/$1" 2>/dev/null
    echo "saved $out/$1"
}

# "X Y W H" of the first window whose name matches $1.
geometry() {
    local id
    id=$(xdotool search --onlyvisible --name "$1" | head -n 1)
    [[ -n $id ]] || return 1
    xdotool getwindowgeometry --shell "$id" |
        awk -F= '/^X=/{x=$2} /^Y=/{y=$2} /^WIDTH=/{w=$2} /^HEIGHT=/{h=$2} END{print x, y, w, h}'
}

# Opens the tray menu and picks the item reached with $1 presses of Down.
# Down skips the disabled state line, the section heading and the
# separators; with the demo's profiles the enabled items are: Head Office
# (managed), Office, Lab, Home, Disconnect All, Forcibly Stop…,
# Configuration…, Show Log…, About Torvane, Quit Torvane.
menu_pick() {
    local x y w h keys=()
    read -r x y w h < <(geometry '^panel$')
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    sleep 0.6
    for ((k = 0; k < $1; k++)); do keys+=(Down); done
    xdotool key "${keys[@]}" Return
}

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=("$!")
wait_for 50 test -s "$work/display"
DISPLAY=:$(cat "$work/display")
export DISPLAY
export QT_QPA_PLATFORM=xcb
# No session bus: the secret store reads nothing and the profiles need none.
export DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus
export XDG_CONFIG_HOME=$work/config
export XDG_RUNTIME_DIR=$work/runtime
export TORVANE_HELPER_SOCKET=$work/helper.sock
mkdir -p "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"

trayer --edge top --align right --widthtype request --height 32 --SetDockType true \
    >"$work/trayer.log" 2>&1 &
trayer_pid=$!
pids+=("$trayer_pid")
wait_for 50 xdotool search --name '^panel$'

start_app() {
    "$daemon" "$TORVANE_HELPER_SOCKET" "$XDG_CONFIG_HOME" >"$work/daemon.log" 2>&1 &
    daemon_pid=$!
    pids+=("$daemon_pid")
    wait_for 50 test -S "$TORVANE_HELPER_SOCKET"
    "$app" "$@" >>"$work/app.log" 2>&1 &
    app_pid=$!
    pids+=("$app_pid")
}

# Quits through the menu or a key and checks that the app stops its tunnel
# and exits well within the quit time limit.
expect_exit() {
    if ! wait_for 80 bash -c "! kill -0 $app_pid"; then
        echo "$0: the app did not quit" >&2
        exit 1
    fi
    kill "$daemon_pid" 2>/dev/null || true
    wait "$daemon_pid" 2>/dev/null || true
    rm -f "$TORVANE_HELPER_SOCKET"
}

start_app
# The tray icon exists once the app has reached the daemon and the first
# status has set the lock.
wait_for 100 xdotool search --classname torvane
sleep 1.5
capture tray.png

read -r x y w h < <(geometry '^panel$')
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
capture menu.png
xdotool key Escape

menu_pick 7 # Configuration…
wait_for 50 xdotool search --onlyvisible --name "$config_title"
capture config-empty.png

# The first row of the profile list sits under the tab bar at the left; rows
# are 24 pixels high: the managed heading, Head Office, the user's heading,
# then Office.
read -r x y w h < <(geometry "$config_title")
xdotool mousemove $((x + 40)) $((y + 49 + 3 * 24)) click 1
capture config-editor.png
xdotool mousemove $((x + 40)) $((y + 49 + 24)) click 1
capture managed.png

menu_pick 8 # Show Log…
capture log.png

menu_pick 9 # About Torvane
wait_for 50 xdotool search --onlyvisible --name "$about_title"
capture about.png
xdotool key Return

kill -USR1 "$daemon_pid" # Office drops and reconnects
capture notification.png

kill "$daemon_pid"
wait "$daemon_pid" 2>/dev/null || true
sleep 1
read -r x y w h < <(geometry '^panel$')
xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
capture unreachable.png
xdotool key Escape
rm -f "$TORVANE_HELPER_SOCKET"
"$daemon" "$TORVANE_HELPER_SOCKET" "$XDG_CONFIG_HOME" >"$work/daemon.log" 2>&1 &
daemon_pid=$!
pids+=("$daemon_pid")
# Back once the restarted daemon has been subscribed to, with no click.
if ! wait_for 150 grep -q 'a client subscribed' "$work/daemon.log"; then
    echo "$0: the app did not reach the restarted daemon" >&2
    exit 1
fi
echo "daemon restarted: the app subscribed again by itself"
sleep 1

menu_pick 10 # Quit Torvane: stops the tunnel first
expect_exit
echo "quit through the menu: exited"

kill "$trayer_pid"
wait "$trayer_pid" 2>/dev/null || true
start_app
wait_for 100 xdotool search --onlyvisible --name "$config_title"
sleep 1.5
capture no-tray.png

# Drag the sixth row (Home) above the fourth (Office, the user's first), in
# small steps as a hand would.
read -r x y w h < <(geometry "$config_title")
row1=$((y + 68)) # below the window's menu bar and the tab bar
xdotool mousemove $((x + 40)) $((row1 + 120)) mousedown 1
for step in 6 12 18 24 32 40 46 50; do
    sleep 0.1
    xdotool mousemove $((x + 40)) $((row1 + 120 - step))
done
xdotool mouseup 1
capture reordered.png
xdotool search --onlyvisible --name "$config_title" windowactivate --sync 2>/dev/null ||
    true
xdotool key ctrl+q
expect_exit
echo "quit with Ctrl+Q without a tray: exited"
pushes=$(sed -n 's/^torvane-demo-daemon: \([0-9]*\) x setPrioritiesWithProfileIDs:reply:$/\1/p' \
    "$work/daemon.log")
if [[ ${pushes:-0} -ne 1 ]]; then
    echo "$0: the drop sent the order ${pushes:-0} times, not once" >&2
    exit 1
fi
echo "drag to reorder: one priority push"

# A configuration profile as an IT department hands it out, signed by a
# certificate this machine does not trust.
cat >"$work/office.xml" <<'PLIST'
<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><dict>
<key>PayloadType</key><string>Configuration</string>
<key>PayloadDisplayName</key><string>Example Corp VPN</string>
<key>PayloadUUID</key><string>5B3C1F6E-0000-4000-8000-000000000001</string>
<key>PayloadContent</key><array>
 <dict><key>PayloadType</key><string>com.apple.wifi.managed</string>
  <key>PayloadUUID</key><string>5B3C1F6E-0000-4000-8000-000000000003</string>
  <key>PayloadDisplayName</key><string>Office Wi-Fi</string></dict>
 <dict><key>PayloadType</key><string>com.apple.vpn.managed</string>
  <key>PayloadUUID</key><string>5B3C1F6E-0000-4000-8000-000000000002</string>
  <key>UserDefinedName</key><string>Example Corp</string>
  <key>VPNType</key><string>IKEv2</string>
  <key>IKEv2</key><dict>
   <key>RemoteAddress</key><string>vpn.example.org</string>
   <key>RemoteIdentifier</key><string>vpn.example.org</string>
   <key>AuthenticationMethod</key><string>None</string>
   <key>ExtendedAuthEnabled</key><integer>1</integer>
   <key>AuthName</key><string>alice</string>
   <key>AuthPassword</key><string>demo-password</string>
   <key>DeadPeerDetectionRate</key><string>Medium</string>
   <key>DisableMOBIKE</key><integer>1</integer>
   <key>IKESecurityAssociationParameters</key><dict>
    <key>EncryptionAlgorithm</key><string>AES-256-GCM</string>
    <key>DiffieHellmanGroup</key><integer>20</integer></dict>
  </dict>
  <key>DNS</key><dict>
   <key>ServerAddresses</key><array><string>10.0.0.53</string></array>
   <key>SupplementalMatchDomains</key><array><string>corp.example</string></array></dict>
 </dict>
</array></dict></plist>
PLIST
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj '/O=Example Corp/CN=Example Corp Profile Signing' \
    -keyout "$work/signer.key" -out "$work/signer.pem" 2>/dev/null
openssl cms -sign -nodetach -binary -outform DER -in "$work/office.xml" \
    -signer "$work/signer.pem" -inkey "$work/signer.key" -out "$work/office.mobileconfig"
import_title='^(Import Profile|Profil importieren)$'
start_app "file://$work/office.mobileconfig"
wait_for 100 xdotool search --onlyvisible --name "$import_title"
sleep 1
capture import-preview.png
# Cancel: nothing is saved.
xdotool search --onlyvisible --name "$import_title" windowactivate --sync 2>/dev/null || true
xdotool key Escape
wait_for 50 bash -c "! xdotool search --onlyvisible --name '$import_title'"
# A click on the empty detail pane gives the window the keyboard back.
read -r x y w h < <(geometry "$config_title")
xdotool mousemove $((x + w * 2 / 3)) $((y + h / 2)) click 1
xdotool key ctrl+q
expect_exit
echo "started with a file: the import preview opened"
