#!/usr/bin/env bash
# zk405-station.exe under Wine: started with a preset, a ledger, --auto and --once 1, its window shows
# while it waits; a COM port that appears (a simulated module linked in after the start) is programmed,
# recorded in the ledger without the PIN, and the program ends with status 0 on its own. The COM ports
# there at the start are left alone. Started again without --auto, it is driven by keyboard alone:
# the arrows reach the port, Enter programs it, Alt+F4 closes the window. Exit 77 (skipped) without an
# X display.
#
# Usage: station_wine.sh zk405-station.exe ZK405-SIM [WINE]
set -uo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
[[ $# -ge 3 ]] && export WINE="$3"
if [[ -z "${DISPLAY:-}" ]] || ! command -v xdotool >/dev/null; then
    echo "station_wine.sh: no X display (or no xdotool); skipped" >&2
    exit 77
fi
SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/windows" && pwd)
# shellcheck source=../../scripts/windows/wine-env.sh
ZK405_WINE_FUNCTIONS_ONLY=1 source "$SCRIPTS/wine-env.sh" "" || exit 1
# shellcheck source=../support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/harness.sh"

COM=45
harness_work zk405-station-wine
PID=""
# shellcheck disable=SC2317 # run at exit by harness.sh
exit_steps() {
    harness_kill "$PID"
    wait 2>/dev/null
    zk405_wine_unlink_com "$COM"
}
# shellcheck disable=SC2317 # run by harness.sh on a failure
failure_details() {
    for f in out.txt transcript.txt ledger.csv; do
        [[ -s "$WORK/$f" ]] && sed "s/^/  $f: /" "$WORK/$f"
    done
}

cd "$WORK" || exit 1
harness_start_sim "$SIM" --name "Kaldor" --reply-delay-ms 20 --transcript "$WORK/transcript.txt" ||
    fail "the simulator did not start: $(cat sim.err)"
printf 'name=Stanowisko {n}\npin=9876\n' >line.preset
zk405_wine_unlink_com "$COM"
zk405_wine_wait_desktop_gone
"$WINE" "$PROGRAM" --preset line.preset --ledger ledger.csv --once 1 >out.txt 2>&1 &
PID=$!

wait_station_window() {
    local window=""
    for _ in $(seq 150); do
        window=$(xdotool search --onlyvisible --name "stanowisko programowania" 2>/dev/null | head -n1)
        [[ -n "$window" ]] && break
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.2
    done
    [[ -n "$window" ]] && echo "$window"
}
# Waits up to $1 seconds for the program to end, and fails with $2 when it does not, or with its
# status when that is not 0.
wait_station_end() {
    for _ in $(seq $(($1 * 10))); do
        kill -0 "$PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$PID" 2>/dev/null && fail "$2"
    local status=0
    wait "$PID" || status=$?
    PID=""
    [[ $status == 0 ]] || fail "exit status $status"
}
WINDOW=$(wait_station_window) || fail "no station window appeared: $(tr -d '\r' <out.txt)"
# Taken only once the window waits: the port must be new to it. The window shows before the station's
# first look at the COM ports ends, and nothing outside the window tells when it has; the few seconds
# here are many times what that look takes under Wine.
sleep 5
zk405_wine_link_com "$COM" "$SIM_PTY"
wait_station_end 30 "the station did not end after its one module"
grep -q ",programmed,1,com$COM,.*,Stanowisko 1,name;pin,programmed,0," ledger.csv ||
    fail "no record of the module"
# As a token of its own: a duration in the ledger may hold the same digits.
grep -qE '(^|[^[:alnum:]])9876([^[:alnum:]]|$)' ledger.csv && fail "the PIN is in the ledger"
[[ "$(cut -d' ' -f2- transcript.txt)" == $'AT+BNAME?\nAT+BNAME=Stanowisko 1\nAT+BPIN=9876\nAT+BNAME?' ]] ||
    fail "the module received other commands"

# By keyboard alone, without --auto: the list has the focus from the start, an arrow key starts at the
# first row (com1, always there under Wine), the next is COM45, and Enter programs it.
"$WINE" "$PROGRAM" --preset line.preset --ledger ledger.csv >out.txt 2>&1 &
PID=$!
WINDOW=$(wait_station_window) || fail "no station window the second time: $(tr -d '\r' <out.txt)"
sleep 3 # the station's first look at the COM ports, as above
xdotool windowfocus --sync "$WINDOW" 2>/dev/null || true
xdotool key --delay 200 Down Down Return
for _ in $(seq 100); do
    grep -q ",programmed,2,com$COM," ledger.csv && break
    sleep 0.1
done
grep -q ",programmed,2,com$COM,.*,Stanowisko 2,name;pin,programmed,0," ledger.csv ||
    fail "Down, Down and Enter did not program COM$COM"
xdotool key alt+F4
wait_station_end 10 "Alt+F4 did not close the window"
[[ "$(tail -n4 transcript.txt | cut -d' ' -f2-)" == $'AT+BNAME?\nAT+BNAME=Stanowisko 2\nAT+BPIN=9876\nAT+BNAME?' ]] ||
    fail "the module received other commands from the keyboard's programming"
echo "zk405-station.exe under Wine: its window shown, a COM port that appeared programmed and recorded," \
    "status 0 after --once 1; by keyboard, Down, Down, Enter programmed it again and Alt+F4 closed it"
