#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12. Safe to run again: packages that are
# already there are not touched, and apt's lists are refreshed only when something is missing.
#   scripts/install-deps.sh            the native build, its tests, the program and its Debian package
#   scripts/install-deps.sh --windows  also the MinGW-w64 cross compiler, Wine and NSIS
set -euo pipefail

packages=(
  g++ cmake ninja-build pkg-config git shellcheck
  libwxgtk3.2-dev libgtk-3-dev
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libcli11-dev nlohmann-json3-dev
  libsdbus-c++-dev python3-dbusmock dbus-daemon
  xvfb xauth xdotool x11-apps x11-utils imagemagick fonts-dejavu-core openbox
  at-spi2-core dbus-bin python3-gi gir1.2-atspi-2.0
  clang libclang-rt-14-dev
  dpkg-dev help2man lintian groff-base man-db bsdextrautils
)
if [[ "${1:-}" == "--windows" ]]; then
  # make and xz-utils build wxMSW from its source tarball; locales has the Polish locale's source.
  packages+=(g++-mingw-w64-x86-64-posix wine64 fonts-wine libz-mingw-w64-dev nsis unzip make xz-utils locales)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -ne 0 ]] && sudo=(sudo)
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
