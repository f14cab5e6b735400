#!/usr/bin/env bash
# Runs a Windows test program under Wine with the simulated module on one of its COM ports: starts
# zk405-sim (built for this machine), points Wine's COM<N> at the simulator's pseudo-terminal, runs
# the program, then stops the simulator. CTest uses it as the test programs' emulator.
#
# Usage: run-with-module.sh --sim PATH --com N [--wine PATH] [--name TEXT] -- PROGRAM.exe [ARGS...]
# The program finds the port name, the module's name and the simulator's transcript (a Windows path)
# in ZK405_TEST_COM, ZK405_TEST_MODULE_NAME and ZK405_TEST_TRANSCRIPT.
# Wine's prefix is $WINEPREFIX as scripts/windows/wine-env.sh set it up.
set -uo pipefail

SIM=""
COM=""
WINE_LOADER=""
NAME="ZK405 Wine"
while [[ $# -gt 0 ]]; do
    case "$1" in
    --sim) SIM="$2"; shift 2 ;;
    --com) COM="$2"; shift 2 ;;
    --wine) WINE_LOADER="$2"; shift 2 ;;
    --name) NAME="$2"; shift 2 ;;
    --) shift; break ;;
    *) echo "run-with-module.sh: unknown option $1" >&2; exit 2 ;;
    esac
done
[[ $# -ge 1 && -n "$SIM" && -n "$COM" ]] || {
    echo "usage: run-with-module.sh --sim PATH --com N [--wine PATH] [--name TEXT] -- PROGRAM [ARGS...]" >&2
    exit 2
}

HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[[ -n "$WINE_LOADER" ]] && export WINE="$WINE_LOADER"
# An empty argument: the prefix is the one in the environment, not this script's first argument.
ZK405_WINE_FUNCTIONS_ONLY=1 source "$HERE/wine-env.sh" "" || exit 1

# Listing the tests needs no module.
for arg in "$@"; do
    [[ "$arg" == --gtest_list_tests ]] && exec "$WINE" "$@"
done

WORK=$(mktemp -d /tmp/zk405-module-XXXXXX)
SIM_PID=""
# shellcheck disable=SC2317 # run by the EXIT trap
cleanup() {
    if [[ -n "$SIM_PID" ]]; then
        kill "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
    fi
    zk405_wine_unlink_com "$COM"
    rm -rf "$WORK"
}
trap cleanup EXIT

"$SIM" --name "$NAME" --transcript "$WORK/transcript.txt" >"$WORK/sim.out" 2>"$WORK/sim.err" &
SIM_PID=$!
# The first line the simulator prints is its port.
for _ in $(seq 100); do
    [[ -s "$WORK/sim.out" ]] && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.05
done
PTY=$(head -n1 "$WORK/sim.out")
if [[ -z "$PTY" ]]; then
    echo "run-with-module.sh: the simulator did not start:" >&2
    cat "$WORK/sim.err" >&2
    exit 1
fi
zk405_wine_link_com "$COM" "$PTY"

export ZK405_TEST_COM="com$COM"
export ZK405_TEST_MODULE_NAME="$NAME"
# Wine's drive Z: is the Unix root.
export ZK405_TEST_TRANSCRIPT="Z:${WORK//\//\\}\\transcript.txt"
"$WINE" "$@"
exit $?
