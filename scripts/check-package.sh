#!/usr/bin/env bash
# Builds the Debian package and checks it the way a user would meet it:
# installs it with apt into a throwaway Debian 12 root, lists what it put
# where, removes and purges it again, and runs lintian on the .deb.
# Downloads a minimal root (about 100 MB with the dependencies), so it is not
# part of the test run. Needs root, debootstrap and lintian.
#
# Usage: scripts/check-package.sh [ROOT_DIR]
#   ROOT_DIR   an existing bookworm root to install into (kept afterwards);
#              without it a new one is made in a temporary folder and deleted.
# Environment: TORVANE_DEB=FILE checks that package instead of building one;
#              TORVANE_MIRROR=URL is the Debian mirror (default: this
#              machine's apt source).
set -euo pipefail

root_dir=$(cd "$(dirname "$0")/.." && pwd)
given_root=${1:-}
failures=0
fail() { echo "check-package: FAIL: $*" >&2; failures=$((failures + 1)); }
say() { echo "== $*"; }

[ "$(id -u)" -eq 0 ] || { echo "check-package: run as root (debootstrap, chroot)" >&2; exit 1; }
for tool in debootstrap lintian dpkg-deb; do
  command -v "$tool" >/dev/null || { echo "check-package: $tool is missing (scripts/setup-deps.sh)" >&2; exit 1; }
done

mirror=${TORVANE_MIRROR:-}
if [ -z "$mirror" ]; then
  mirror=$(grep -hsE '^(URIs:|deb )' /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources |
    grep -oE 'https?://[^ ]+/debian/?' | head -n 1 || true)
  mirror=${mirror:-http://deb.debian.org/debian}
fi

# --- the package ------------------------------------------------------------
start=$(date +%s)
if [ -n "${TORVANE_DEB:-}" ]; then
  deb=$(readlink -f "$TORVANE_DEB")
else
  say "building the package"
  deb=$("$root_dir/scripts/package.sh")
fi
built=$(date +%s)
say "package: $deb ($(du -k "$deb" | cut -f1) KiB, Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB, built in $((built - start)) s)"
dpkg-deb -f "$deb" Package Version Architecture Section Priority Depends

# --- the root ---------------------------------------------------------------
root=$given_root
own_root=false
mounted=false
own_policy=false
cleanup() {
  if $mounted; then umount "$root/proc" || umount -l "$root/proc" || true; fi
  if $own_policy; then rm -f "$root/usr/sbin/policy-rc.d"; fi
  if $own_root && [ -n "$root" ] && [ -d "$root" ]; then
    # Never delete through a mount that is still there.
    if grep -qF " $root/" /proc/mounts; then
      echo "check-package: $root still has mounts; left in place" >&2
    else
      rm -rf --one-file-system "$root"
    fi
  fi
}
trap cleanup EXIT

if [ -z "$root" ]; then
  root=$(mktemp -d /tmp/torvane-root.XXXXXX)
  own_root=true
  # apt downloads as _apt, which must be able to reach the root.
  chmod 0755 "$root"
  say "debootstrap bookworm into $root from $mirror"
  t0=$(date +%s)
  debootstrap --variant=minbase bookworm "$root" "$mirror" >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; rm -f "$root.debootstrap.log"; exit 1; }
  rm -f "$root.debootstrap.log"
  echo "debootstrap took $(($(date +%s) - t0)) s"
fi
[ -x "$root/usr/bin/apt-get" ] || { echo "check-package: $root is not a Debian root" >&2; exit 1; }

mount -t proc proc "$root/proc"
mounted=true
cp /etc/resolv.conf "$root/etc/resolv.conf"
# No service may start inside the root. A policy that is there stays.
if [ ! -e "$root/usr/sbin/policy-rc.d" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 0755 "$root/usr/sbin/policy-rc.d"
  own_policy=true
fi
cp "$deb" "$root/tmp/torvane.deb"

in_root() { chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"; }
apt_opts=(-q -y -o Dpkg::Use-Pty=0 --no-install-recommends)

# --- install ----------------------------------------------------------------
say "apt-get install /tmp/torvane.deb"
in_root apt-get -q update >/dev/null
t0=$(date +%s)
if in_root apt-get "${apt_opts[@]}" install /tmp/torvane.deb >"$root/tmp/install.log" 2>&1; then
  echo "installed in $(($(date +%s) - t0)) s with its dependencies"
else
  fail "apt-get install failed"
fi
grep -iE '(^|[^-])(error|warning)|^E:|^W:' "$root/tmp/install.log" | grep -v 'policy-rc.d' || echo "no errors or warnings in the install log"

say "dpkg -L torvane"
in_root dpkg -L torvane | sort | tee "$root/tmp/files"

# The installed tree every part of the system relies on.
expected=(
  /usr/bin/torvane
  /usr/bin/torvanectl
  /usr/lib/torvane/torvane-helper
  /usr/lib/torvane/Resources/strongswan/libexec/ipsec/charon
  /usr/lib/torvane/Resources/strongswan/sbin/swanctl
  /usr/lib/torvane/Resources/strongswan/etc/strongswan.conf
  /usr/lib/torvane/Resources/dnsmasq/sbin/dnsmasq
  /usr/lib/systemd/system/torvane-helper.service
  /usr/lib/systemd/system/torvane-helper.socket
  /usr/lib/systemd/system-generators/torvane-helper-generator
  /usr/share/applications/torvane.desktop
  /etc/xdg/autostart/torvane.desktop
  /usr/share/mime/packages/torvane.xml
  /usr/share/icons/hicolor/scalable/apps/torvane.svg
  /usr/share/doc/torvane/README.md
  /usr/share/doc/torvane/copyright
  /usr/share/man/man1/torvane.1.gz
  /usr/share/man/man1/torvanectl.1.gz
  /usr/share/man/man8/torvane-helper.8.gz
  /usr/share/bash-completion/completions/torvanectl
  /usr/share/torvane/translations/torvane_de.qm
)
say "the installed tree"
for path in "${expected[@]}"; do
  grep -qxF "$path" "$root/tmp/files" || fail "not in the package: $path"
done
for link in strongswan/libexec/ipsec/charon strongswan/sbin/swanctl dnsmasq/sbin/dnsmasq; do
  [ -x "$root/usr/lib/torvane/Resources/$link" ] || fail "Resources/$link does not lead to a program"
done
for program in /usr/bin/torvane /usr/bin/torvanectl; do
  # The helper trusts only root-owned clients that group and others cannot change.
  mode=$(stat -c '%U %a' "$root$program")
  [ "$mode" = "root 755" ] || fail "$program is '$mode', not root 755"
done
in_root /usr/lib/torvane/torvane-helper --help >/dev/null || fail "torvane-helper does not run"
in_root /usr/bin/torvanectl --help >/dev/null || fail "torvanectl does not run"
# shellcheck disable=SC2016 # expanded inside the root
missing_libs=$(in_root sh -c 'for f in /usr/bin/torvane /usr/bin/torvanectl /usr/lib/torvane/torvane-helper; do ldd "$f"; done' |
  grep 'not found' || true)
[ -z "$missing_libs" ] || fail "libraries missing: $missing_libs"

say "desktop entries, manual pages, completion"
for entry in /usr/share/applications/torvane.desktop /etc/xdg/autostart/torvane.desktop; do
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$root$entry" || fail "$entry is not a valid desktop entry"
  fi
done
# shared-mime-info's file trigger rebuilds the database when our types land.
if [ -f "$root/usr/share/mime/globs2" ]; then
  grep -qF ':application/vnd.strongswan.profile:*.sswan' "$root/usr/share/mime/globs2" ||
    fail "the .sswan type is not in the MIME database after install"
fi
for page in "$root"/usr/share/man/man*/torvane*.gz; do
  warnings=$(zcat "$page" | groff -man -ww -z 2>&1) || true
  [ -z "$warnings" ] || fail "${page#"$root"}: $warnings"
done
bash -n "$root/usr/share/bash-completion/completions/torvanectl" || fail "the bash completion does not parse"
echo "checked"

say "AppArmor"
# strongSwan's packages create the profiles' local rules files themselves,
# unowned: a package that ships one stops at a dpkg conffile prompt on
# machines that already have strongSwan.
if grep -q '^/etc/apparmor.d/local/' "$root/tmp/files"; then
  fail "the package ships a file in /etc/apparmor.d/local/"
fi
for profile in usr.lib.ipsec.charon usr.sbin.swanctl; do
  if ! grep -qxF "/etc/apparmor.d/torvane/$profile" "$root/tmp/files"; then
    echo "the package has no AppArmor rules for $profile"
  elif grep -qxF "include if exists <torvane/$profile>" "$root/etc/apparmor.d/local/$profile"; then
    echo "the local rules of $profile include ours"
  else
    fail "the local rules of $profile do not include /etc/apparmor.d/torvane/$profile"
  fi
done

say "services"
wants=$root/etc/systemd/system
if [ -L "$wants/sockets.target.wants/torvane-helper.socket" ]; then
  echo "torvane-helper.socket is enabled"
else
  fail "torvane-helper.socket is not enabled"
fi
if [ -e "$wants/multi-user.target.wants/strongswan-starter.service" ]; then
  fail "strongswan-starter.service is still enabled"
else
  echo "strongswan-starter.service is not enabled"
fi

# --- upgrade ----------------------------------------------------------------
say "dpkg -i over the installed package (the upgrade path)"
if in_root dpkg -i /tmp/torvane.deb >"$root/tmp/upgrade.log" 2>&1; then
  echo "reinstalled cleanly"
else
  fail "reinstalling failed: $(tail -n 5 "$root/tmp/upgrade.log")"
fi
[ -L "$wants/sockets.target.wants/torvane-helper.socket" ] || fail "the socket is not enabled after the upgrade"

# --- remove and purge ---------------------------------------------------------
say "apt-get remove, then purge"
in_root apt-get "${apt_opts[@]}" remove torvane >"$root/tmp/remove.log" 2>&1 || fail "remove failed"
[ ! -e "$root/usr/lib/torvane/torvane-helper" ] || fail "the helper is still there after remove"
in_root apt-get "${apt_opts[@]}" purge torvane >>"$root/tmp/remove.log" 2>&1 || fail "purge failed"
[ ! -e "$root/etc/xdg/autostart/torvane.desktop" ] || fail "the autostart entry is still there after purge"
[ ! -e "$wants/sockets.target.wants/torvane-helper.socket" ] || fail "the socket is still enabled after purge"
for profile in usr.lib.ipsec.charon usr.sbin.swanctl; do
  if grep -q torvane "$root/etc/apparmor.d/local/$profile" 2>/dev/null; then
    fail "the local AppArmor rules of $profile still name torvane after purge"
  fi
done
grep -iE '^E:|^W:|error' "$root/tmp/remove.log" || echo "removed and purged cleanly"

# --- lintian ------------------------------------------------------------------
say "lintian"
lintian --display-info "$deb" || true

say "done in $(($(date +%s) - start)) s, $failures failure(s)"
[ "$failures" -eq 0 ]
