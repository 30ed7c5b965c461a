#!/usr/bin/env bash
# Runs the Secret Service tests against a real gnome-keyring-daemon on a
# private session bus (tests/tools/private_keyring.sh), so the user's own
# keyring and bus are never touched.
#
#   secret_service_session.sh TEST_BINARY
#
#   [private session bus] <- [gnome-keyring-daemon, login keyring in $work]
#        |
#   [TEST_BINARY SecretService.*]      then, with a dead bus address:
#   [TEST_BINARY NoSecretService.*]
set -euo pipefail
# shellcheck source=../tools/private_keyring.sh
source "$(dirname "$0")/../tools/private_keyring.sh"
binary=${1:?usage: secret_service_session.sh TEST_BINARY}
for tool in dbus-daemon dbus-send gnome-keyring-daemon secret-tool; do
    command -v "$tool" >/dev/null || { echo "secret_service: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/torvane-secrets.XXXXXX")
trap 'keyring_down; rm -rf "$work"' EXIT
mkdir -m 0700 "$work/home" "$work/runtime"
export HOME=$work/home XDG_DATA_HOME=$work/home/data XDG_CONFIG_HOME=$work/home/config
export XDG_RUNTIME_DIR=$work/runtime
unset DISPLAY WAYLAND_DISPLAY
keyring_up "$work"

status=0
"$binary" --gtest_filter='SecretService.*' || status=1
# The dead-bus case builds its own unreachable address; it must run in a
# process that has not connected to the bus yet.
"$binary" --gtest_filter='NoSecretService.*' || status=1
exit $status
