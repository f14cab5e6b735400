#!/usr/bin/env bash
# Makes the Windows packages from a build of the "mingw" preset (MinGW-w64 with the windows) that is
# already configured (by default the one test-windows.sh --ui made, in build/mingw):
# ZK405-<version>-win64.zip and, with makensis (Debian's nsis), ZK405-<version>-setup.exe, both in
# BUILD_DIR/packages. Their paths are the last lines printed.
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

# The packages ship ZK405.EXE: only the preset with the windows can make them.
if ! grep -q '^ZK405_BUILD_UI:BOOL=ON' "$BUILD/CMakeCache.txt" 2>/dev/null ||
    ! grep -q '^CMAKE_TOOLCHAIN_FILE:.*mingw-w64' "$BUILD/CMakeCache.txt"; then
    echo "package-windows.sh: $BUILD is not a build of the mingw preset, the one with the windows" \
        "(scripts/windows/test-windows.sh --ui)" >&2
    exit 2
fi
command -v makensis >/dev/null || { echo "package-windows.sh: no makensis (apt-get install nsis)" >&2; exit 2; }
cmake --build "$BUILD" --target windows_packages >&2
ls "$BUILD"/packages/ZK405-*-win64.zip "$BUILD"/packages/ZK405-*-setup.exe
