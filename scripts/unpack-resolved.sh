#!/usr/bin/env bash
# Unpacks Debian's systemd-resolved into a private folder for the namespace
# test of the daemon's resolved backend, and prints the program's path.
# It is never installed: its install script would turn this machine's
# /etc/resolv.conf into a link to resolved's stub and start the service.
#   scripts/unpack-resolved.sh [DIR]     (default /var/cache/torvane/systemd-resolved)
set -euo pipefail
dir=${1:-/var/cache/torvane/systemd-resolved}
program=$dir/lib/systemd/systemd-resolved
if [ ! -x "$program" ]; then
    work=$(mktemp -d /tmp/torvane-resolved.XXXXXX)
    trap 'rm -rf "$work"' EXIT
    (cd "$work" && apt-get download -q systemd-resolved >/dev/null 2>&1)
    mkdir -p "$dir"
    dpkg-deb -x "$work"/systemd-resolved_*.deb "$dir"
fi
echo "$program"
