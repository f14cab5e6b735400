#!/usr/bin/env bash
# Makes the Debian package from a native build that is already built (by default the release build
# scripts/test.sh made) and checks it with lintian: errors fail, warnings are printed.
#
# Usage: scripts/package.sh [BUILD_DIR]     default build/release
# The package is left in BUILD_DIR/packages; its path is the last line printed.
set -euo pipefail

SOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath -m "${1:-$SOURCE/build/release}")
OUT="$BUILD/packages"
[[ -f "$BUILD/CPackConfig.cmake" ]] || {
    echo "package.sh: $BUILD is not a configured native build (no CPackConfig.cmake)" >&2
    exit 2
}

# Nothing to do when the build is current; the manual pages are made here if they are not yet.
cmake --build "$BUILD" >/dev/null
rm -f "$OUT"/zk405_*.deb
(cd "$BUILD" && cpack -G DEB -B "$OUT" >/dev/null)
DEB=$(ls "$OUT"/zk405_*.deb)
echo "== $(basename "$DEB"): $(dpkg-deb -f "$DEB" Depends)" >&2

echo "== lintian" >&2
# As root lintian says it would rather not be, which is all it says about that.
lintian --fail-on error --tag-display-limit 0 "$DEB" 2> >(grep -v 'running with root privileges' >&2)
echo "$DEB"
