#!/usr/bin/env bash
# Builds the Debian package in Release and prints the path of the .deb.
# Usage: scripts/package.sh [BUILD_DIR]   (default build/package)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/package}
jobs=${TORVANE_JOBS:-2}

# Debian's hardening flags (fortified functions, stack protector, full RELRO
# with immediate binding), as a Debian package build would use: the helper
# runs as root.
flags=()
if command -v dpkg-buildflags >/dev/null; then
  export DEB_BUILD_MAINT_OPTIONS=hardening=+all
  flags=(
    "-DCMAKE_CXX_FLAGS=$(dpkg-buildflags --get CPPFLAGS) $(dpkg-buildflags --get CXXFLAGS)"
    "-DCMAKE_EXE_LINKER_FLAGS=$(dpkg-buildflags --get LDFLAGS)"
  )
fi
cmake -S "$root" -B "$build" -G Ninja "${flags[@]}" \
  -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF -DCMAKE_INSTALL_PREFIX=/usr >&2
cmake --build "$build" -j"$jobs" >&2
# Only the new package: an older one beside it must not be mistaken for it.
rm -f "$build"/torvane_*.deb
(cd "$build" && cpack -G DEB) >&2

debs=("$build"/torvane_*.deb)
if [ ! -f "${debs[0]}" ]; then
  echo "package: cpack made no .deb in $build" >&2
  exit 1
fi
echo "${debs[0]}"
