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
# shellcheck source=../../tests/support/harness.sh
source "$HERE/../../tests/support/harness.sh"

# Listing the tests needs no module.
for arg in "$@"; do
    [[ "$arg" == --gtest_list_tests ]] && exec "$WINE" "$@"
done

harness_work zk405-module
# shellcheck disable=SC2317 # run at exit by harness.sh
exit_steps() { zk405_wine_unlink_com "$COM"; }

if ! harness_start_sim "$SIM" --name "$NAME" --transcript "$WORK/transcript.txt"; then
    echo "run-with-module.sh: the simulator did not start:" >&2
    cat "$WORK/sim.err" >&2
    exit 1
fi
zk405_wine_link_com "$COM" "$SIM_PTY"

export ZK405_TEST_COM="com$COM"
export ZK405_TEST_MODULE_NAME="$NAME"
# Wine's drive Z: is the Unix root.
export ZK405_TEST_TRANSCRIPT="Z:${WORK//\//\\}\\transcript.txt"
"$WINE" "$@"
exit $?
