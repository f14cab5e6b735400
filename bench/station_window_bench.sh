#!/usr/bin/env bash
# The station window's pace as a user times it, beside the settings window's: from the program's start
# to its window on the accessibility bus, the resident memory once it is shown (VmRSS, VmHWM), and with
# the station window shown and ticked Automatycznie, a module's link made in the watched folder to the
# first command reaching the simulated module. Prints its figures; not a test.
#
# Usage: scripts/with-display.sh bench/station_window_bench.sh [BUILD_DIR] [RUNS]
#        (default build/release, 5 runs)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=$(realpath "${1:-$ROOT/build/release}")
RUNS=${2:-5}
HERE=$ROOT/tests/support
# shellcheck source=../tests/support/xwindow.sh
source "$HERE/xwindow.sh"
# shellcheck source=../tests/support/harness.sh
source "$HERE/harness.sh"
# shellcheck source=../tests/support/atspi.sh
source "$HERE/atspi.sh"
xwindow_require xdpyinfo
atspi_require

harness_work zk405-station-window-bench
APP_PID=""
exit_steps() { harness_kill "$APP_PID"; }
cd "$WORK"
export XDG_RUNTIME_DIR=$WORK
printf 'name=Bench {n}\npin=1234\n' >bench.preset
mkdir watched

now_ms() { echo $(($(date +%s%N) / 1000000)); }
status_kb() { sed -n "s/^$2:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$1/status"; }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

# Starts PROGRAM ARGS..., waits for its window titled TITLE; prints "ms rss_kb hwm_kb".
time_start() {
    local title=$1 start shown
    shift
    start=$(now_ms)
    "$@" >app.out 2>&1 &
    APP_PID=$!
    atspi "$APP_PID" --wait 30 find --role frame --name "$title" --state showing >/dev/null || fail "no window: $*"
    shown=$(now_ms)
    echo "$((shown - start)) $(status_kb "$APP_PID" VmRSS) $(status_kb "$APP_PID" VmHWM)"
    kill "$APP_PID"
    wait "$APP_PID" 2>/dev/null || true
    APP_PID=""
}

report() {
    local what=$1 file=$2
    printf '%-40s start %5s ms   VmRSS %6s kB   VmHWM %6s kB   (median of %s)\n' "$what" \
        "$(cut -d' ' -f1 "$file" | median)" "$(cut -d' ' -f2 "$file" | median)" \
        "$(cut -d' ' -f3 "$file" | median)" "$RUNS"
}

for _ in $(seq "$RUNS"); do
    time_start "KALDOR ZK405 - Program konfiguracyjny." "$BUILD/app/zk405" >>settings.txt
    time_start "ZK405 — stanowisko programowania" "$BUILD/app/zk405-station" --watch-dir "$WORK/watched" \
        --ledger "$WORK/start.jsonl" --preset bench.preset >>station.txt
done
report "settings window (zk405)" settings.txt
report "station window (zk405-station)" station.txt

# Appearance to first command. A module's transcript times each command from the simulator's start;
# the last module is sent one command by hand first, at a known time, to find when that start was.
harness_start_sim "$BUILD/tools/zk405-sim" --count $((RUNS + 1)) --reply-delay-ms 20 --transcript "$WORK/transcript" ||
    fail "the simulator did not start"
sent=$(now_ms)
printf 'AT+BNAME?\r\n' >"$(sed -n "$((RUNS + 1))p" sim.out)"
wait_for_line "transcript$RUNS" AT+ || fail "the module sent by hand got nothing"
origin=$(awk -v sent="$sent" -v ms="$(head -n1 "transcript$RUNS" | cut -d' ' -f1)" 'BEGIN { printf "%.1f", sent - ms }')
"$BUILD/app/zk405-station" --watch-dir "$WORK/watched" --ledger "$WORK/latency.jsonl" --preset bench.preset \
    --auto >app.out 2>&1 &
APP_PID=$!
atspi "$APP_PID" --wait 30 find --role "check box" --name Automatycznie --state checked >/dev/null ||
    fail "the station did not start programming"
for i in $(seq 0 $((RUNS - 1))); do
    appeared=$(now_ms)
    ln -s "$(sed -n "$((i + 1))p" sim.out)" "watched/ttyUSB$i"
    wait_for_line "transcript$i" AT+ || fail "module $i got no command"
    first=$(head -n1 "transcript$i" | cut -d' ' -f1)
    awk -v origin="$origin" -v first="$first" -v appeared="$appeared" \
        'BEGIN { printf "%.1f\n", origin + first - appeared }'
done >latency.txt
printf '%-40s median %s ms, worst %s ms (%s modules)\n' "appearance to first command (window)" \
    "$(median <latency.txt)" "$(sort -n latency.txt | tail -n1)" "$RUNS"
