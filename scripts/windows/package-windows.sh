#!/usr/bin/env bash
# Makes the Windows packages from a MinGW-w64 build with the windows that is already built (by
# default the one test-windows.sh --ui made): ZK405-<version>-win64.zip and, with makensis (Debian's
# nsis), ZK405-<version>-setup.exe, both in BUILD_DIR/packages. Their paths are the last lines printed.
#
# Usage: scripts/windows/package-windows.sh [--build-dir DIR]     default build/mingw
set -euo pipefail

SOURCE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
BUILD="$SOURCE/build/mingw"
while [[ $# -gt 0 ]]; do
    case "$1" in
    --build-dir) BUILD=$(realpath -m "$2"); shift 2 ;;
    *) echo "package-windows.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

grep -q '^ZK405_BUILD_UI:BOOL=ON' "$BUILD/CMakeCache.txt" 2>/dev/null || {
    echo "package-windows.sh: $BUILD is not a Windows build with the windows (test-windows.sh --ui)" >&2
    exit 2
}
command -v makensis >/dev/null || { echo "package-windows.sh: no makensis (apt-get install nsis)" >&2; exit 2; }
cmake --build "$BUILD" --target windows_packages >&2
ls "$BUILD"/packages/ZK405-*-win64.zip "$BUILD"/packages/ZK405-*-setup.exe
