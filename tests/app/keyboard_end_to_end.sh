#!/usr/bin/env bash
# The program by keyboard alone, along the tab order, against the simulated module: port typed, Tab,
# Space; every setting ticked and filled with Tab, Space and typing (protocol chosen from its list by
# keys, authentication ticked with no choice, which Tab cannot reach); Programuj, Enter on the summary;
# Tab round to Wstecz, Space; Space on Dalej... reconnects, Escape leaves, twice; Tab, Space on Zakończ.
# A key landing on the wrong control shows in the commands the module gets, which are checked.
#
# Usage: keyboard_end_to_end.sh PROGRAM ZK405-SIM ARTIFACT_DIR [WINE]
#   With WINE: ZK405.EXE on COM99 in the prefix wine-env.sh set up. Without: the GTK program, under
#   openbox unless a window manager runs. Exits 77 (skipped) without DISPLAY, xdotool or import.
set -uo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
ARTIFACTS=$(realpath -m "$3")
WINE_LOADER=${4:-}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xwindow.sh
source "$HERE/../support/xwindow.sh"
# shellcheck source=../support/harness.sh
source "$HERE/../support/harness.sh"
xwindow_require xdotool import xdpyinfo xprop

mkdir -p "$ARTIFACTS"
harness_work zk405-keys
APP_PID=""
XWINDOW_WM_PID=""
exit_steps() {
    harness_kill "$APP_PID" "$XWINDOW_WM_PID"
    [[ -n "$WINE_LOADER" ]] && zk405_wine_unlink_com 99
}
failure_details() {
    windows | sed 's/^/  window /'
    sed 's/^/  module got: /' "$WORK/transcript.txt" 2>/dev/null
}
# Keys go where the focus is; a pause lets each batch's work be done.
keys() { xdotool key --delay 100 "$@"; sleep 0.3; }
typed() { xdotool type --delay 40 "$1"; sleep 0.2; }
# The protocol list's second entry. A dropped list is a window of its own: Return before it is shown
# would reach the settings window, which takes Enter as Wstecz.
choose_second() {
    if [[ -z "$DROP_LIST" ]]; then
        keys Down Down
        return
    fi
    local shown
    shown=$(windows | wc -l)
    keys alt+Down
    for _ in $(seq 50); do
        (($(windows | wc -l) > shown)) && break
        sleep 0.1
    done
    keys Down Return
}

cd "$WORK" || exit 1
harness_start_sim "$SIM" --name "Biuro Łódź" --transcript transcript.txt ||
    fail "the simulator did not start: $(cat sim.err)"
if [[ -n "$WINE_LOADER" ]]; then
    XWINDOW_SEARCH=--name
    export WINE="$WINE_LOADER"
    ZK405_WINE_FUNCTIONS_ONLY=1 source "$HERE/../../scripts/windows/wine-env.sh" "" || exit 1
    zk405_wine_link_com 99 "$SIM_PTY"
    PORT=com99
    DROP_LIST="" # Down in the closed box takes the next entry, the first from none
    zk405_wine_wait_desktop_gone
    "$WINE" "$PROGRAM" >app.out 2>&1 &
else
    xwindow_manager || fail "no window manager"
    PORT=$SIM_PTY
    DROP_LIST=1 # the list drops from its first entry
    "$PROGRAM" >app.out 2>&1 &
fi
APP_PID=$!

TITLE='^KALDOR ZK405 - Program konfiguracyjny\.$'
MAIN=$(wait_window "$TITLE") || fail "no port selection window"
# A window manager focuses a new window; on a bare X server (Wine's desktop) the program is given it.
[[ -z "${XWINDOW_FRAME:-}" ]] && xdotool windowfocus --sync "$MAIN"
shot "$MAIN" port-select
# Fixed size, no maximize box: the window manager must not offer to maximize.
maximizable() { xprop -id "$1" _NET_WM_ALLOWED_ACTIONS 2>/dev/null | grep -q MAXIMIZE; }
maximizable "$MAIN" && fail "the port window can be maximized"

typed "$PORT"
keys Tab space
SETTINGS=$(wait_window "$TITLE" "$MAIN") || fail "Tab, Space did not connect to $PORT"
# The window reads the module's name first and takes no keys during that second's wait; a key lost
# then would leave the focus on "Wstecz" for the Space that follows.
wait_for_line transcript.txt 'AT+BNAME?' || fail "the name was not asked for"
sleep 2
# Under load the window manager may hand the focus over late; the keys must reach this window.
[[ -z "${XWINDOW_FRAME:-}" ]] || xdotool windowactivate --sync "$SETTINGS" 2>/dev/null ||
    xdotool windowfocus --sync "$SETTINGS"
sleep 0.5
shot "$SETTINGS" settings
# From "Wstecz"; the name field stands before its check box in the tab order.
keys Tab space shift+Tab End
typed " 2"
keys Tab Tab space Tab
choose_second
keys Tab space Tab
typed 4321
keys Tab space
shot "$SETTINGS" settings-filled
keys Tab space
CONFIRM=$(wait_window '^KALDOR ZK405 - Potwierdź dane' "$MAIN" "$SETTINGS") || fail "Programuj not reached"
shot "$CONFIRM" confirm
keys Return
wait_for_line transcript.txt 'AT+BFLOW=' || fail "the settings were not programmed"
sleep 1.3 # the last command's one-second wait

keys Tab space
wait_gone "$SETTINGS" || fail "Tab, Space did not press Wstecz"
for _ in 1 2; do
    keys space
    AGAIN=$(wait_window "$TITLE" "$MAIN") || fail "Space on Dalej... did not connect again"
    keys Escape
    wait_gone "$AGAIN" || fail "Escape did not leave the settings window"
done
keys Tab space
wait_exit "$APP_PID" || fail "Tab, Space did not press Zakończ"
[[ $EXIT_STATUS == 0 ]] || fail "the program ended with status $EXIT_STATUS"
APP_PID=""

# The name in Windows-1250 ("Ł", "ó", "ź" are A3, F3, 9F); no authentication command without a choice.
printf '%s\n' 'AT+BNAME?' 'AT+BNAME=Biuro \xA3\xF3d\x9F 2' 'AT+BPIN=4321' 'AT+BFLOW=2' 'AT+BNAME?' 'AT+BNAME?' >expected.txt
cut -d' ' -f2- transcript.txt | cmp -s - expected.txt || fail "the module got other commands"
echo "keyboard only: $PORT typed, four settings ticked and programmed, Wstecz, Escape, reconnected, quit"
