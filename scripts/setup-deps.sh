#!/usr/bin/env bash
# Installs every Debian package Torvane needs to build, test and run.
# Idempotent: when everything is present it prints nothing and returns at once.
# Installing strongSwan pulls in strongswan-starter, whose maintainer scripts
# would start a system-wide charon; Torvane runs its own charon, so the script
# keeps that service from starting and leaves it disabled.
set -euo pipefail

packages=(
  # build
  build-essential cmake ninja-build pkg-config git clang clang-format
  libclang-rt-14-dev
  # libraries
  nlohmann-json3-dev uuid-dev libasio-dev libssl-dev libsecret-1-dev
  libsystemd-dev libmnl-dev libnftables-dev qt6-base-dev qt6-svg-dev
  # translations: lupdate/lrelease, their CMake package, Qt's own German texts
  qt6-l10n-tools qt6-tools-dev qt6-translations-l10n
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev dbus-daemon dbus-bin gnome-keyring
  libsecret-tools xvfb trayer xdotool qt6-qpa-plugins python3
  # packaging checks (scripts/check-package.sh)
  desktop-file-utils lintian debootstrap
  # programs the helper runs
  strongswan-charon strongswan-swanctl libstrongswan-standard-plugins
  libcharon-extra-plugins libcharon-extauth-plugins dnsmasq-base nftables
  iproute2 iputils-ping openssl
  # helper units, polkit action and AppArmor rules: socket activation test,
  # systemd-analyze, xmllint, pkaction, apparmor_parser
  systemd procps libxml2-utils polkitd pkexec apparmor
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "setup-deps: missing packages: ${missing[*]}" >&2
  echo "setup-deps: run this script as root to install them" >&2
  exit 1
fi

echo "setup-deps: installing ${missing[*]}"

# A policy-rc.d that refuses every start keeps maintainer scripts from
# launching services during this install. Never touch one that exists.
policy=/usr/sbin/policy-rc.d
own_policy=false
if [ ! -e "$policy" ]; then
  printf '#!/bin/sh\nexit 101\n' >"$policy"
  chmod 0755 "$policy"
  own_policy=true
fi
cleanup() { if $own_policy; then rm -f "$policy"; fi; }
trap cleanup EXIT

export DEBIAN_FRONTEND=noninteractive
# A fresh machine runs its automatic upgrades at boot and holds the package
# manager's lock meanwhile: wait for it rather than fail at once.
apt_lock=(-o DPkg::Lock::Timeout=600)
apt_opts=(-q -y -o Dpkg::Use-Pty=0 "${apt_lock[@]}" --no-install-recommends)
# Only refresh the package lists when they are missing or a day old.
if [ -z "$(find /var/lib/apt/lists -maxdepth 1 -name '*_Packages' -mmin -1440 2>/dev/null | head -n 1)" ]; then
  apt-get -q "${apt_lock[@]}" update >/dev/null
fi
apt-get "${apt_opts[@]}" install "${missing[@]}" >/dev/null

# The system strongSwan service must neither run nor be enabled.
for unit in strongswan-starter.service ipsec.service; do
  if [ -d /run/systemd/system ]; then
    systemctl disable --now "$unit" >/dev/null 2>&1 || true
  elif command -v systemctl >/dev/null; then
    systemctl disable "$unit" >/dev/null 2>&1 || true
  fi
done
if [ -x /etc/init.d/ipsec ] && command -v update-rc.d >/dev/null; then
  update-rc.d ipsec disable >/dev/null 2>&1 || true
fi
echo "setup-deps: done"
