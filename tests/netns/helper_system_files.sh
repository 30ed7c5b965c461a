#!/usr/bin/env bash
# The files the helper's installation puts into the system, checked with the
# system's own tools: the systemd units (systemd-analyze verify, and an
# exposure score that a lost hardening line would raise), the polkit action
# (against polkit's DTD, naming the installed control program), the control
# program's usage, and the AppArmor additions compiled into a copy of
# Debian's charon and swanctl profiles, with the paths the result reaches.
# A check whose tool is missing is
# skipped (scripts/setup-deps.sh installs them all).
#
#   helper_system_files.sh SOURCE_DIR BUILD_DIR HELPER
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=testbed.sh
source "$here/testbed.sh"
src=$(realpath "$1")
build=$(realpath "$2")
HELPER=$(realpath "$3")
W=$(mktemp -d /tmp/torvane-system-files.XXXXXX)
trap 'rm -rf "$W"' EXIT

# Highest acceptable "systemd-analyze security" exposure; the units score 3.7.
max_exposure=4.5

if command -v systemd-analyze >/dev/null; then
    units=$W/units
    mkdir -p "$units" "$W/man/man8"
    sed "s|@TORVANE_HELPER_PROGRAM@|$HELPER|" \
        "$src/helper/platform/linux/systemd/torvane-helper.service.in" >"$units/torvane-helper.service"
    cp "$src/helper/platform/linux/systemd/torvane-helper.socket" "$units/"
    # The units name the helper's manual page, which is not installed here.
    cp "$src/resources/man/torvane-helper.8" "$W/man/man8/"
    # verify only warns about an unknown key; any word from it is a fault.
    verify_output=$(MANPATH="$W/man:" systemd-analyze verify "$units/torvane-helper.socket" \
        "$units/torvane-helper.service" 2>&1) || verify_output+=" (failed)"
    [ -z "$verify_output" ] || echo "$verify_output" >&2
    check "systemd-analyze verify accepts the units" test -z "$verify_output"
    exposure=$(systemd-analyze security --offline=true "$units/torvane-helper.service" 2>/dev/null |
        sed -n 's/.*Overall exposure level for torvane-helper.service: \([0-9.]*\).*/\1/p')
    echo "exposure level of torvane-helper.service: ${exposure:-unknown}"
    check "the service's exposure level is at most $max_exposure" \
        awk -v e="${exposure:-99}" -v m="$max_exposure" 'BEGIN { exit !(e <= m) }'
fi

policy=$build/resources/polkit/kv.kelvor.torvane.policy
dtd=/usr/share/polkit-1/policyconfig-1.dtd
if command -v xmllint >/dev/null && [ -f "$dtd" ] && [ -f "$policy" ]; then
    check "the polkit policy is valid" xmllint --noout --dtdvalid "$dtd" "$policy"
    control=$(xmllint --xpath \
        'string(//action[@id="kv.kelvor.torvane.manage-helper"]/annotate[@key="org.freedesktop.policykit.exec.path"])' \
        "$policy")
    check "the action lets pkexec run the installed control program ($control)" \
        bash -c '[[ "$0" == /*/lib/torvane/torvane-helper-control ]]' "$control"
fi

control_src=$src/resources/polkit/torvane-helper-control
check "the control program is valid sh" sh -n "$control_src"
usage_status=0
sh "$control_src" restart 2>/dev/null || usage_status=$?
check "the control program refuses an unknown operation with status 2" test "$usage_status" = 2

if command -v apparmor_parser >/dev/null && [ -f /etc/apparmor.d/usr.lib.ipsec.charon ]; then
    tree=$W/apparmor.d
    cp -a /etc/apparmor.d "$tree"
    mkdir -p "$tree/torvane" "$tree/local"
    for profile in usr.lib.ipsec.charon usr.sbin.swanctl; do
        [ -f "$tree/$profile" ] || continue
        cp "$src/resources/apparmor/$profile" "$tree/torvane/"
        # The line the package's postinst adds.
        echo "include if exists <torvane/$profile>" >>"$tree/local/$profile"
        check "Debian's $profile profile compiles with our additions" \
            apparmor_parser -Q -K --base="$tree" -I "$tree" "$tree/$profile"
        check "the compiled $profile profile holds our rules" \
            bash -c 'apparmor_parser -Q -K -p --base="$1" -I "$1" "$1/$2" 2>/dev/null |
                     grep -q "^  /run/torvane/"' _ "$tree" "$profile"
        # Every path expression the parser compiles into the profile, Debian's
        # and the abstractions' included: they reach the staging tree, but
        # not the helper's command socket and journal beside it.
        exprs=$(apparmor_parser -Q -K -D rule-exprs --base="$tree" -I "$tree" "$tree/$profile" 2>&1 |
            sed -n 's/^aare: .*   ->   //p' | paste -sd'|')
        reaches() { printf '%s' "$1" | grep -Pq "^(?:$exprs)\$"; }
        check "$profile reaches the VICI socket" reaches /run/torvane/run/charon.vici
        for path in /run/torvane/helper.sock /run/torvane/journal.json; do
            check "$profile does not reach $path" fails reaches "$path"
        done
    done
fi

checks_summary helper_system_files
