#!/usr/bin/env bash
# Starts ZK405.EXE under Wine, waits for the port selection window to appear on the X display, closes
# it with Escape (the window's cancel, "Zakończ") and expects the program to end with status 0.
# Exit 77 (skipped) without an X display.
#
# Usage: smoke-program.sh PATH/TO/ZK405.exe [WINE]
set -uo pipefail

PROGRAM="$1"
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
[[ $# -ge 2 ]] && export WINE="$2"
if [[ -z "${DISPLAY:-}" ]] || ! command -v xdotool >/dev/null; then
    echo "smoke-program.sh: no X display (or no xdotool); skipped" >&2
    exit 77
fi
ZK405_WINE_FUNCTIONS_ONLY=1 source "$HERE/wine-env.sh" "" || exit 1
# shellcheck source=../../tests/support/harness.sh
source "$HERE/../../tests/support/harness.sh"

harness_work zk405-smoke
PID=""
# shellcheck disable=SC2317 # run at exit by harness.sh
exit_steps() { harness_kill "$PID"; }

# The program writes TxRx.log into its current directory.
cd "$WORK" || exit 1
zk405_wine_wait_desktop_gone
"$WINE" "$PROGRAM" >"$WORK/out.txt" 2>&1 &
PID=$!

TITLE="ZK405"
WINDOW=""
for _ in $(seq 150); do
    WINDOW=$(xdotool search --onlyvisible --name "$TITLE" 2>/dev/null | head -n1)
    [[ -n "$WINDOW" ]] && break
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.2
done
if [[ -z "$WINDOW" ]]; then
    echo "smoke-program.sh: no window titled *$TITLE* appeared" >&2
    cat "$WORK/out.txt" >&2
    exit 1
fi
echo "window: $(xdotool getwindowname "$WINDOW")"

xdotool windowactivate --sync "$WINDOW" 2>/dev/null || xdotool windowfocus --sync "$WINDOW" 2>/dev/null
xdotool key --window "$WINDOW" Escape
for _ in $(seq 100); do
    kill -0 "$PID" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$PID" 2>/dev/null; then
    echo "smoke-program.sh: the program did not end after Escape" >&2
    exit 1
fi
wait "$PID"
STATUS=$?
PID=""
echo "exit status: $STATUS"
exit $STATUS
