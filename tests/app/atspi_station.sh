#!/usr/bin/env bash
# The station window as a screen reader reads it, through the accessibility bus, with simulated
# modules appearing as links in the folder it watches.
#
#   rows     --auto: two modules programmed and one that refuses the PIN; each row's port, names
#            before and after, outcomes and result word, the counters and the failure's sentence
#   locked   --locked: no field takes input and no settings control is enabled; the notice is shown
#   refused  by hand: the row selected from the keyboard, Programuj pressed through the bus; the PIN
#            shown refused, the other settings confirmed
#   close    a silent module programmed by Enter on its row, the window closed while it waits: the
#            module's record is in the ledger and no lock file is left behind
#
# Usage: atspi_station.sh rows|locked|refused|close ZK405-STATION ZK405-SIM
# Exits 77 (skipped) without DISPLAY, xdotool, the accessibility bus or its Python bindings.
set -euo pipefail

CASE=$1
STATION=$(realpath "$2")
SIM=$(realpath "$3")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")/../support" && pwd)
# shellcheck source=../support/xwindow.sh
source "$HERE/xwindow.sh"
# shellcheck source=../support/harness.sh
source "$HERE/harness.sh"
# shellcheck source=../support/atspi.sh
source "$HERE/atspi.sh"
xwindow_require xdotool xdpyinfo xprop
atspi_require

harness_work zk405-atspi-station
APP_PID=""
OTHER_SIM_PID=""
XWINDOW_WM_PID=""
exit_steps() { harness_kill "$APP_PID" "$OTHER_SIM_PID" "$XWINDOW_WM_PID"; }
cd "$WORK"
export XDG_RUNTIME_DIR=$WORK
mkdir watched
printf 'name=Linia {n}\npin=1234\nflow=RTS/CTS\nauth=always\n' >line.preset

TITLE="ZK405 — stanowisko programowania"
BUTTON="push button"
# Time, port, description: what comes before the names in a row.
head_of() { echo "* | $WORK/watched/$1 | *"; }

start_station() {
    xwindow_manager || fail "no window manager"
    "$STATION" --watch-dir "$WORK/watched" --ledger "$WORK/ledger.jsonl" --preset line.preset "$@" >station.out 2>&1 &
    APP_PID=$!
    atspi "$APP_PID" find --role frame --name "$TITLE" --state active >/dev/null ||
        fail "no station window on the accessibility bus"
}

# The row of the module linked as NAME, matched against the pattern of its cells after the port's.
expect_row() {
    atspi "$APP_PID" --wait "${3:-10}" find --role table --row "$(head_of "$1") | $2" >/dev/null ||
        fail "no row for $1 reading '$2'"
}

expect_label() {
    atspi "$APP_PID" --wait 2 find --role label --name "$1" --state showing >/dev/null ||
        fail "the window shows no label '$1'"
}

# The figure is the label that follows its caption, as a screen reader reads them one after the other.
expect_counter() {
    local caption=$1 figure=$2 read
    read=$("$ATSPI_TREE" --pid "$APP_PID" tree | grep -A1 -x " *label \"$caption\" \[.*\]")
    tail -n1 <<<"$read" | grep -qx " *label \"$figure\" \[.*showing.*\]" ||
        fail "the counter '$caption' does not read $figure: $read"
}

link() { ln -s "$2" "watched/$1"; }

rows() {
    harness_start_sim "$SIM" --count 2 || fail "the simulator did not start: $(cat sim.err)"
    local good0=$SIM_PTY good1
    good1=$(sed -n 2p sim.out)
    "$SIM" --refuse AT+BPIN >refusing.out 2>refusing.err &
    OTHER_SIM_PID=$!
    wait_for_line refusing.out /dev/ || fail "the refusing simulator did not start"
    start_station --auto
    link m0 "$good0"
    expect_row m0 "ZK405 | Linia 1 | potwierdzone | potwierdzone | potwierdzone | potwierdzone | * | ZAPROGRAMOWANY"
    link m1 "$good1"
    expect_row m1 "ZK405 | Linia 2 | potwierdzone | potwierdzone | potwierdzone | potwierdzone | * | ZAPROGRAMOWANY"
    link m2 "$(head -n1 refusing.out)"
    expect_row m2 "ZK405 | * | potwierdzone | odrzucone | potwierdzone | potwierdzone | * | BŁĄD (niepotwierdzony)"
    expect_counter Zaprogramowane 2
    expect_counter Błędy 1
    expect_counter Pominięte 0
    # The sentence is wrapped to the panel's width, wherever that falls; it begins with the module.
    local tree
    tree=$("$ATSPI_TREE" --pid "$APP_PID" tree)
    grep -qE "label \"$WORK/watched/m2:( |\\\\n)BŁĄD" <<<"$tree" ||
        fail "the failure's sentence does not name m2: $(grep -F "BŁĄD" <<<"$tree" | grep -v "^ *table cell")"
    echo "rows: two modules programmed, one with its PIN refused, the counters 2, 1 and 0, the failure named"
}

locked() {
    harness_start_sim "$SIM" || fail "the simulator did not start: $(cat sim.err)"
    start_station --locked
    link m0 "$SIM_PTY"
    expect_row m0 "* | czeka"
    expect_label "Ustawienia zablokowane (--locked): nie można ich zmienić."
    local tree
    tree=$("$ATSPI_TREE" --pid "$APP_PID" tree)
    # GTK calls a greyed field editable still; what takes input is an enabled one.
    ! grep -E '^ *(text|password text) .*\[[^]]*enabled[^]]*editable' <<<"$tree" ||
        fail "a field takes input in the locked window"
    ! grep -E '^ *combo box .*\[.*enabled' <<<"$tree" || fail "a setting can be chosen in the locked window"
    for button in "Wczytaj ustawienia…" "Wybierz rejestr…"; do
        atspi "$APP_PID" find --role "$BUTTON" --name "$button" --no-state enabled >/dev/null ||
            fail "'$button' can be pressed in the locked window"
    done
    echo "locked: no editable field, no enabled choice, loading and the ledger's choice greyed"
}

# Down selects the module's row in the list, which has the focus from the start.
select_first_row() {
    atspi "$APP_PID" focused --role table >/dev/null || fail "the list has not the focus"
    xdotool key Down
    atspi "$APP_PID" find --role "$BUTTON" --name Programuj --state enabled >/dev/null ||
        fail "selecting the row left Programuj greyed"
}

refused() {
    harness_start_sim "$SIM" --refuse AT+BPIN --transcript "$WORK/transcript.txt" ||
        fail "the simulator did not start: $(cat sim.err)"
    start_station
    link m0 "$SIM_PTY"
    expect_row m0 "* | czeka"
    select_first_row
    atspi "$APP_PID" press --role "$BUTTON" --name Programuj >/dev/null || fail "Programuj could not be pressed"
    expect_row m0 "ZK405 | * | potwierdzone | odrzucone | potwierdzone | potwierdzone | * | BŁĄD (niepotwierdzony)"
    expect_counter Błędy 1
    grep -q 'AT+BPIN=1234' transcript.txt || fail "the module was not sent the PIN: $(cat transcript.txt)"
    echo "refused: the row selected by keyboard, Programuj pressed, the PIN refused and the rest confirmed"
}

close_mid_module() {
    harness_start_sim "$SIM" --silent || fail "the simulator did not start: $(cat sim.err)"
    local lock
    lock="LCK..$(realpath "$SIM_PTY" | sed 's|^/dev/||; s|/|_|g')"
    start_station
    link m0 "$SIM_PTY"
    expect_row m0 "* | czeka"
    select_first_row
    xdotool key Return
    expect_row m0 "* | programowanie…" 2
    # Closed as a user closes it: the window manager's close, which the window may refuse.
    xdotool key alt+F4
    for _ in $(seq 300); do
        kill -0 "$APP_PID" 2>/dev/null || break
        sleep 0.1
    done
    wait_exit "$APP_PID" || fail "the window did not close"
    APP_PID=""
    [[ $EXIT_STATUS == 0 ]] || fail "the station ended with status $EXIT_STATUS"
    grep -q "\"port\":\"$WORK/watched/m0\"" ledger.jsonl || fail "the ledger has no record of m0: $(cat ledger.jsonl)"
    grep "\"port\":\"$WORK/watched/m0\"" ledger.jsonl | tail -n1 | grep -q '"result":"failed"' ||
        fail "the ledger's last record of m0 is not its failure: $(cat ledger.jsonl)"
    for dir in /run/lock /var/lock; do
        [[ ! -e "$dir/$lock" ]] || fail "$dir/$lock was left behind"
    done
    echo "close: a silent module in flight, the window closed, its failure recorded, no $lock left"
}

case $CASE in
    rows) rows ;;
    locked) locked ;;
    refused) refused ;;
    close) close_mid_module ;;
    *) fail "no case '$CASE' (rows, locked, refused or close)" ;;
esac
