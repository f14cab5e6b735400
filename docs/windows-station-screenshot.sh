#!/usr/bin/env bash
# Remakes docs/windows-station.png: zk405-station.exe under Wine at work, with three simulated modules
# appearing as COM ports (COM61..63), the second of them refusing its PIN.
#
# Usage: scripts/with-display.sh docs/windows-station-screenshot.sh [MINGW_BUILD_DIR] [ZK405_SIM]
#   (defaults build/mingw and build/release/tools/zk405-sim; the Wine prefix is the build's own)
# Needs xdotool, openbox and ImageMagick's import and convert.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build/mingw}")
SIM=$(realpath "${2:-$ROOT/build/release/tools/zk405-sim}")
STATION=$BUILD/app/zk405-station.exe
HERE=$ROOT/tests/support
# shellcheck source=../tests/support/xwindow.sh
source "$HERE/xwindow.sh"
# shellcheck source=../tests/support/harness.sh
source "$HERE/harness.sh"
# shellcheck source=../scripts/windows/wine-env.sh
source "$ROOT/scripts/windows/wine-env.sh" "$BUILD/wineprefix"
xwindow_require xdotool import convert

harness_work zk405-windows-station-shot
APP_PID=""
OTHER_SIM_PID=""
XWINDOW_WM_PID=""
# shellcheck disable=SC2317 # run at exit by harness.sh
exit_steps() {
    harness_kill "$APP_PID" "$OTHER_SIM_PID" "$XWINDOW_WM_PID"
    for com in 61 62 63; do zk405_wine_unlink_com "$com"; done
    zk405_wine_teardown
}
cd "$WORK"
printf 'name=Linia {n}\npin=1234\nflow=RTS/CTS\nauth=always\n' >line.preset

xwindow_manager || fail "no window manager"
harness_start_sim "$SIM" --count 2 --reply-delay-ms 20 --name "ZK405" || fail "the simulator did not start"
"$SIM" --refuse AT+BPIN >refusing.out 2>refusing.err &
OTHER_SIM_PID=$!
wait_for_line refusing.out /dev/ || fail "the refusing simulator did not start"

"$WINE" "$STATION" --preset line.preset --ledger ledger.jsonl --auto >station.out 2>&1 &
APP_PID=$!
window=""
for _ in $(seq 150); do
    window=$(xdotool search --onlyvisible --name "stanowisko programowania" 2>/dev/null | head -n1) || true
    [[ -n "$window" ]] && break
    sleep 0.2
done
[[ -n "$window" ]] || fail "no station window"
# The ports there at the start are the station's first look; the modules come after it.
sleep 5
zk405_wine_link_com 61 "$(sed -n 1p sim.out)"
wait_for_line ledger.jsonl '"port":"com61","result"' || fail "com61 was not programmed"
zk405_wine_link_com 62 "$(head -n1 refusing.out)"
wait_for_line ledger.jsonl '"port":"com62","result"' || fail "com62 was not tried"
zk405_wine_link_com 63 "$(sed -n 2p sim.out)"
wait_for_line ledger.jsonl '"port":"com63","result"' || fail "com63 was not programmed"
xwindow_shoot_for_readme "$window" windows-station || fail "no screenshot"
