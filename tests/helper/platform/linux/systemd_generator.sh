#!/usr/bin/env bash
# The boot generator on temporary folders: nothing without an always-on
# profile (nor for one in a skipped file), the wants link and the
# network-online drop-in with one, and a quiet exit 0 on a missing folder or
# an output folder it cannot write.
#
#   systemd_generator.sh GENERATOR
set -euo pipefail
gen=$1
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
failed=0
check() {
    local what=$1
    shift
    if "$@"; then echo "ok   $what"; else echo "FAIL $what"; failed=1; fi
}
run() { rm -rf "$dir/out"; mkdir "$dir/out"; TORVANE_CONFIG_DIR=$dir/etc sh "$gen" "$dir/out" "$dir/early" "$dir/late"; }
empty() { [ -z "$(ls -A "$dir/out")" ]; }

check "no config dir: exit 0, nothing" eval 'run && empty'
mkdir -p "$dir/etc/profiles.d"
printf '{"id":"A","alwaysOn":false}\n' >"$dir/etc/profiles.d/10-a.json"
printf '{"id":"B","alwaysOn" : true}\n' >"$dir/etc/profiles.d/.hidden.json"
cp "$dir/etc/profiles.d/.hidden.json" "$dir/etc/profiles.d/20-b.json~"
check "no always-on profile (skipped files do not count): nothing" eval 'run && empty'

printf '{\n  "id": "C",\n  "alwaysOn":\ttrue\n}\n' >"$dir/etc/profiles.d/30-c.json"
check "always-on: exit 0" run
link=$dir/out/multi-user.target.wants/torvane-helper.service
check "the service is wanted at boot" eval '[[ "$(readlink "$link")" = /*/lib/systemd/system/torvane-helper.service ]]'
dropin=$dir/out/torvane-helper.service.d/50-always-on.conf
check "after network-online.target" grep -qx "After=network-online.target" "$dropin"
check "wanting it" grep -qx "Wants=network-online.target" "$dropin"
check "an unwritable output folder: still exit 0" \
    env TORVANE_CONFIG_DIR="$dir/etc" sh "$gen" /proc/version
exit "$failed"
