#!/usr/bin/env bash
# The accessibility harness (atspi_tree.py, with-atspi.sh) on a window with the station's list
# control: the list's cells by row and column, in text and in JSON, a row added while it is shown,
# a button pressed, the focus given and moved by Tab, a program that is not there and a widget that
# does not come; then a private bus of with-atspi.sh, which must leave no process behind.
#
# Usage: atspi_harness_test.sh LIST_WINDOW
# Exits 77 (skipped) without DISPLAY, xdotool, the accessibility bus or its Python bindings.
set -euo pipefail

LIST_WINDOW=$(realpath "$1")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=xwindow.sh
source "$HERE/xwindow.sh"
# shellcheck source=harness.sh
source "$HERE/harness.sh"
# shellcheck source=atspi.sh
source "$HERE/atspi.sh"
xwindow_require xdotool xdpyinfo xprop
atspi_require

harness_work zk405-atspi
APP_PID=""
XWINDOW_WM_PID=""
exit_steps() { harness_kill "$APP_PID" "$XWINDOW_WM_PID"; }
cd "$WORK"

# A window manager gives the new window the focus, as a desktop does.
xwindow_manager || fail "no window manager"
"$LIST_WINDOW" >app.out 2>&1 &
APP_PID=$!

atspi "$APP_PID" find --role table --cell com98 >/dev/null || fail "the list is not on the bus"
atspi "$APP_PID" tree >tree.txt
for line in 'frame "Lista portów"' 'columns: Port | Moduł' ': com97 | Drukarka biurowa' \
    'row 1: com98 | Biuro Łódź' 'push button "Dodaj" [focusable,enabled,sensitive,showing]'; do
    grep -qF -- "$line" tree.txt || fail "the tree has no '$line':$(echo; cat tree.txt)"
done
atspi "$APP_PID" tree --json >tree.json
/usr/bin/python3 -c '
import json, sys
tables = [node["table"] for node in map(json.loads, open(sys.argv[1])) if "table" in node]
expected = [["com97", "Drukarka biurowa"], ["com98", "Biuro Łódź"]]
sys.exit(0 if len(tables) == 1 and tables[0]["rows"] == expected else 1)' tree.json ||
    fail "the JSON tree has not the two rows:$(echo; cat tree.json)"

# The tree is read afresh: a row added while the window is shown is seen.
atspi "$APP_PID" press --role "push button" --name Dodaj >/dev/null || fail "Dodaj could not be pressed"
atspi "$APP_PID" find --role table --cell Nowy >/dev/null || fail "the added row is not seen"

atspi "$APP_PID" focus --name Dodaj >/dev/null || fail "Dodaj did not take the focus"
atspi "$APP_PID" focused --role "push button" --name Dodaj >/dev/null || fail "the focus is not on Dodaj"
atspi_tab_order "$APP_PID" table: || fail "Tab from Dodaj did not go to the list"

# A program that is not on the bus, and a widget that does not come, are told apart, each in time.
status=0
"$ATSPI_TREE" --pid 1 --wait 0.5 tree 2>err.txt || status=$?
[[ $status == 2 ]] || fail "a program not on the bus gave status $status"
status=0
atspi "$APP_PID" --wait 0.5 find --name Usuń >/dev/null 2>err.txt || status=$?
[[ $status == 1 ]] || fail "a widget that is not there gave status $status"
grep -qF 'push button "Dodaj"' err.txt || fail "the tree was not shown when nothing matched"

kill "$APP_PID"
wait "$APP_PID" 2>/dev/null || true
APP_PID=""

# shellcheck disable=SC2016 # the inner script expands its own arguments
# A private bus of its own, with the registry started by a program reading it, and a command that
# ends leaving its program running, as a failing test does; afterwards not one of the processes
# started under it is left.
ZK405_ATSPI_PRIVATE=1 "$HERE/with-atspi.sh" bash -c '
    "$1" & app=$!
    "$2" --pid "$app" find --role table >/dev/null || exit 1
    for environ in /proc/[0-9]*/environ; do
        grep -qzx "ZK405_ATSPI_RUN=$ZK405_ATSPI_RUN" "$environ" 2>/dev/null || continue
        pid=${environ#/proc/}
        echo "${pid%/environ} $(cat "/proc/${pid%/environ}/comm")"
    done >"$3"
    echo "$ZK405_ATSPI_RUN" >"$4"' private "$LIST_WINDOW" "$ATSPI_TREE" "$WORK/started.txt" "$WORK/run.txt" ||
    fail "nothing could be read on a private bus"
for daemon in at-spi-bus-laun at-spi2-registr dbus-daemon; do
    grep -q " $daemon" started.txt || fail "no $daemon was started:$(echo; cat started.txt)"
done
run=$(cat run.txt)
for environ in /proc/[0-9]*/environ; do
    if grep -qzx "ZK405_ATSPI_RUN=$run" "$environ" 2>/dev/null; then
        pid=${environ#/proc/}
        fail "left running: ${pid%/environ} $(cat "/proc/${pid%/environ}/comm" 2>/dev/null)"
    fi
done
# That bus was on the same display, and this script's own still serves a program started now.
"$LIST_WINDOW" >app.out 2>&1 &
APP_PID=$!
atspi "$APP_PID" find --role table --cell com97 >/dev/null || fail "a private bus on the display broke this one"

echo "accessibility harness: the list's cells, an added row, Dodaj pressed, focus and Tab, nothing left behind"
