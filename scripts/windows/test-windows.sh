#!/usr/bin/env bash
# Builds the Windows version with MinGW-w64 and runs its tests under Wine, in one go:
#   1. (with the windows) makes sure the static wxMSW is in its cache, building it once (minutes);
#   2. builds zk405-sim for this machine, the far end of the COM port tests (the "host-tools" preset),
#      unless one is given;
#   3. configures and builds the "mingw" preset (with the windows) or the "mingw-core" one (without);
#   4. sets up Wine (and Xvfb when the windows are built), runs CTest under a time limit, stops Wine.
# Safe to run again: every step reuses what an earlier run left.
#
# Usage: scripts/windows/test-windows.sh [--ui | --no-ui] [--build-dir DIR] [--host-sim PROGRAM]
#                                        [--time-limit SECONDS]
#   --ui          the "mingw" preset: the windows and ZK405.EXE too, building wxMSW first if it is not
#                 cached
#   --no-ui       the "mingw-core" preset: only the core, the tools and their tests
#   (default: the windows are built when wxMSW is cached already; ZK405_WINDOWS_UI=1/0 decides too)
#   --build-dir   default the preset's, build/mingw or build/mingw-core in the source tree
#   --host-sim    a zk405-sim already built for this machine (also ZK405_HOST_SIM), e.g. a native
#                 build's tools/zk405-sim; default: built in <build dir>-host-tools
#   --time-limit  for the whole CTest run, default 420
# Extra arguments after -- go to ctest (e.g. -- -R ComPort).
set -euo pipefail

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SOURCE=$(cd "$HERE/../.." && pwd)
UI=${ZK405_WINDOWS_UI:-auto}
BUILD=""
SIM=${ZK405_HOST_SIM:-}
TIME_LIMIT=420
CTEST_ARGS=()
while [[ $# -gt 0 ]]; do
    case "$1" in
    --ui) UI=1; shift ;;
    --no-ui) UI=0; shift ;;
    --build-dir) BUILD=$(realpath -m "$2"); shift 2 ;;
    --host-sim) SIM="$2"; shift 2 ;;
    --time-limit) TIME_LIMIT="$2"; shift 2 ;;
    --) shift; CTEST_ARGS=("$@"); break ;;
    *) echo "test-windows.sh: unknown option $1" >&2; exit 2 ;;
    esac
done

say() { echo "== $* ($(date +%H:%M:%S))" >&2; }
START=$(date +%s)

if [[ "$UI" == auto ]]; then
    UI=0
    "$HERE/build-wxmsw.sh" --print-prefix >/dev/null 2>&1 && UI=1
fi
# What is built is the preset's to say; only where things are comes from here.
CONFIGURE_ARGS=()
if [[ "$UI" == 1 ]]; then
    PRESET=mingw
    say "wxMSW"
    WX_CONFIG=$("$HERE/build-wxmsw.sh" | tail -n1)
    CONFIGURE_ARGS=("-DwxWidgets_CONFIG_EXECUTABLE=$WX_CONFIG")
else
    PRESET=mingw-core
fi
[[ -n "$BUILD" ]] || BUILD="$SOURCE/build/$PRESET"

if [[ -n "$SIM" ]]; then
    SIM=$(realpath "$SIM")
    [[ -x "$SIM" ]] || { echo "test-windows.sh: $SIM is not a zk405-sim that runs here" >&2; exit 2; }
else
    say "zk405-sim for this machine"
    HOST_BUILD="$BUILD-host-tools"
    if [[ ! -f "$HOST_BUILD/build.ninja" ]]; then
        cmake --preset host-tools -S "$SOURCE" -B "$HOST_BUILD" >/dev/null
    fi
    cmake --build "$HOST_BUILD" --target zk405-sim >/dev/null
    SIM="$HOST_BUILD/tools/zk405-sim"
fi

say "configure and build the $PRESET preset ($BUILD)"
cmake --preset "$PRESET" -S "$SOURCE" -B "$BUILD" "-DZK405_HOST_SIM=$SIM" "${CONFIGURE_ARGS[@]}" >/dev/null
cmake --build "$BUILD"
BUILT=$(date +%s)

XVFB_PID=""
# shellcheck disable=SC2317 # run by the EXIT trap
finish() {
    zk405_wine_teardown 2>/dev/null || true
    if [[ -n "$XVFB_PID" ]]; then
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
    fi
}
trap finish EXIT

if [[ "$UI" == 1 && -z "${DISPLAY:-}" ]]; then
    # Windows need a screen; a private one so that nothing on the desktop gets in their way.
    DISPLAY_NUMBER=${ZK405_XVFB_DISPLAY:-92}
    if [[ ! -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ]]; then
        # Reset when its last client goes, unlike the native tests' server (with-display.sh): Wine's
        # virtual desktop, started on a server that kept what an earlier Wine program left (its input
        # focus, say), closes again as soon as the program's first window shows.
        Xvfb ":$DISPLAY_NUMBER" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        for _ in $(seq 50); do
            [[ -e "/tmp/.X11-unix/X$DISPLAY_NUMBER" ]] && break
            sleep 0.1
        done
    fi
    export DISPLAY=":$DISPLAY_NUMBER"
fi

say "Wine"
# A prefix per build directory: runs in different build directories do not share a Wine server.
source "$HERE/wine-env.sh" "${ZK405_WINEPREFIX:-$BUILD/wineprefix}"

say "ctest under Wine (limit ${TIME_LIMIT}s)"
set +e
timeout --kill-after=10 "$TIME_LIMIT" ctest --test-dir "$BUILD" --output-on-failure -j2 --timeout 120 \
    "${CTEST_ARGS[@]}"
RESULT=$?
set -e
[[ $RESULT == 124 ]] && echo "test-windows.sh: the tests ran past ${TIME_LIMIT}s and were stopped" >&2
END=$(date +%s)
say "done: build $((BUILT - START)) s, tests $((END - BUILT)) s, exit $RESULT"
exit $RESULT
