#!/usr/bin/env bash
# Remakes the station window's screenshots in docs/: the window at work (three modules, one of them
# with its PIN refused, the counters) and the locked operator's view, with simulated modules.
#
# Usage: scripts/with-display.sh docs/station-screenshots.sh [BUILD_DIR]   (default build/dev)
# Needs xdotool, openbox and ImageMagick's import and convert.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build/dev}")
STATION=$BUILD/app/zk405-station
SIM=$BUILD/tools/zk405-sim
HERE=$ROOT/tests/support
# shellcheck source=../tests/support/xwindow.sh
source "$HERE/xwindow.sh"
# shellcheck source=../tests/support/harness.sh
source "$HERE/harness.sh"
# shellcheck source=../tests/support/atspi.sh
source "$HERE/atspi.sh"
xwindow_require xdotool xdpyinfo xprop import convert
atspi_require

harness_work zk405-station-shots
APP_PID=""
OTHER_SIM_PID=""
XWINDOW_WM_PID=""
exit_steps() {
    harness_kill "$APP_PID" "$OTHER_SIM_PID" "$XWINDOW_WM_PID"
    [[ -z "${WATCHED:-}" ]] || rm -rf "$WATCHED"
}
cd "$WORK"
export XDG_RUNTIME_DIR=$WORK
TITLE="ZK405 — stanowisko programowania"
printf 'name=Linia {n}\npin=1234\nflow=RTS/CTS\nauth=always\n' >line.preset
# The ports as a bench names them, whatever the folder is called.
mkdir -p /tmp/stanowisko
WATCHED=$(mktemp -d /tmp/stanowisko/XXXXXX)

# Shoots the station's window into docs/NAME.png, scaled down to a README's width.
shoot() {
    local window
    window=$(timeout 10 xdotool search --sync --onlyvisible --pid "$APP_PID" | head -n1)
    [[ -n "$window" ]] || fail "no window of the station to shoot"
    xwindow_shoot_for_readme "$window" "$1" || fail "no screenshot of $1"
}

start_station() {
    "$STATION" --watch-dir "$WATCHED" --ledger "$WORK/ledger.jsonl" --preset line.preset "$@" >station.out 2>&1 &
    APP_PID=$!
    atspi "$APP_PID" find --role frame --name "$TITLE" >/dev/null || fail "no station window"
}

stop_station() {
    kill "$APP_PID"
    wait "$APP_PID" || true
    APP_PID=""
    rm -f "$WATCHED"/*
}

xwindow_manager || fail "no window manager"
harness_start_sim "$SIM" --count 3 --reply-delay-ms 20 --name "ZK405" || fail "the simulator did not start"
"$SIM" --refuse AT+BPIN >refusing.out 2>refusing.err &
OTHER_SIM_PID=$!
wait_for_line refusing.out /dev/ || fail "the refusing simulator did not start"

start_station --auto
ln -s "$(sed -n 1p sim.out)" "$WATCHED/ttyUSB0"
atspi "$APP_PID" find --role table --cell ZAPROGRAMOWANY >/dev/null || fail "ttyUSB0 was not programmed"
ln -s "$(head -n1 refusing.out)" "$WATCHED/ttyUSB1"
atspi "$APP_PID" find --role table --cell "BŁĄD (niepotwierdzony)" >/dev/null || fail "ttyUSB1 did not fail"
ln -s "$(sed -n 2p sim.out)" "$WATCHED/ttyUSB2"
atspi "$APP_PID" find --role label --name 2 >/dev/null || fail "ttyUSB2 was not programmed"
shoot station-at-work
stop_station

start_station --locked
ln -s "$(sed -n 3p sim.out)" "$WATCHED/ttyUSB3"
atspi "$APP_PID" find --role table --cell czeka >/dev/null || fail "ttyUSB3 is not listed"
shoot station-locked
stop_station

