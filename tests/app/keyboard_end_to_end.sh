#!/usr/bin/env bash
# The whole program by keyboard alone, along the windows' tab order, against the simulated module: the
# port typed, Tab to "Dalej..." and Space. In the settings window Tab, Space and typing tick and fill
# every setting (the name the module reported added to, the protocol chosen from its list by keys, the
# authentication ticked with no choice, which Tab cannot reach), Tab to "Programuj", Space, Enter on the
# summary, Tab round to "Wstecz" and Space. Back in the port window Space on "Dalej..." connects again,
# Escape leaves, Space connects once more, Escape, and Tab, Space on "Zakończ" ends the program. A key
# that lands on the wrong control shows in the commands the module receives, which are checked.
#
# Usage: keyboard_end_to_end.sh PROGRAM ZK405-SIM ARTIFACT_DIR [WINE]
#   With WINE, PROGRAM is ZK405.EXE, run under it in the prefix scripts/windows/wine-env.sh set up, on
#   COM99. Without, it is the GTK program, under openbox when no window manager runs (the screenshots
#   then show the frame a user sees).
# Needs DISPLAY, xdotool and ImageMagick's import; exits 77 (skipped) without them.
set -uo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
ARTIFACTS=$(realpath -m "$3")
WINE_LOADER=${4:-}
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

# shellcheck source=../support/xwindow.sh
source "$HERE/../support/xwindow.sh"
xwindow_require xdotool import xdpyinfo xprop

mkdir -p "$ARTIFACTS"
WORK=$(mktemp -d /tmp/zk405-keys-XXXXXX)
SIM_PID=""
APP_PID=""
XWINDOW_WM_PID=""
COM=99
cleanup() {
    [[ -n "$APP_PID" ]] && kill "$APP_PID" 2>/dev/null
    [[ -n "$SIM_PID" ]] && kill "$SIM_PID" 2>/dev/null
    [[ -n "$XWINDOW_WM_PID" ]] && kill "$XWINDOW_WM_PID" 2>/dev/null
    wait 2>/dev/null
    [[ -n "$WINE_LOADER" ]] && zk405_wine_unlink_com "$COM"
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    windows | sed 's/^/  window /' >&2
    timeout 10 import -window root "$ARTIFACTS/failure.png" 2>/dev/null
    [[ -s "$WORK/transcript.txt" ]] && sed 's/^/  module got: /' "$WORK/transcript.txt" >&2
    exit 1
}

# Keys go where the focus is, as a user's do; a pause lets each one's work be done.
keys() {
    xdotool key --delay 100 "$@"
    sleep 0.3
}
typed() {
    xdotool type --delay 40 "$1"
    sleep 0.2
}

cd "$WORK" || exit 1
"$SIM" --name "Biuro Łódź" --transcript "$WORK/transcript.txt" >sim.out 2>sim.err &
SIM_PID=$!
wait_for_line sim.out /dev/ || fail "the simulator did not start: $(cat sim.err)"

if [[ -n "$WINE_LOADER" ]]; then
    # Wine's windows are found by their titles in its virtual desktop.
    XWINDOW_SEARCH=--name
    export WINE="$WINE_LOADER"
    ZK405_WINE_FUNCTIONS_ONLY=1 source "$HERE/../../scripts/windows/wine-env.sh" "" || exit 1
    zk405_wine_link_com "$COM" "$(head -n1 sim.out)"
    PORT="com$COM"
    # The protocol box's list: Down in the closed box takes its next entry, the first from none.
    CHOOSE_SECOND=(Down Down)
    zk405_wine_wait_desktop_gone
    "$WINE" "$PROGRAM" >app.out 2>&1 &
else
    xwindow_manager || fail "no window manager"
    PORT=$(head -n1 sim.out)
    # The protocol box's list drops with Alt+Down; Down goes to the entry after the first, Enter takes it.
    CHOOSE_SECOND=(alt+Down Down Return)
    "$PROGRAM" >app.out 2>&1 &
fi
APP_PID=$!

MAIN_TITLE='^KALDOR ZK405 - Program konfiguracyjny\.$'
MAIN=$(wait_window "$MAIN_TITLE") || fail "no port selection window"
# Keys need a window with the focus: a window manager gives it to the new window; without one (Wine's
# desktop on a bare X server) the program is given the focus as the desktop would give it.
[[ -z "${XWINDOW_FRAME:-}" ]] && xdotool windowfocus --sync "$MAIN"
shot "$MAIN" port-select
# The windows have a fixed size and no maximize box: the window manager offers no maximizing.
maximizable() { xprop -id "$1" _NET_WM_ALLOWED_ACTIONS 2>/dev/null | grep -q MAXIMIZE; }
maximizable "$MAIN" && fail "the port selection window can be maximized"

# The focus starts in the port field.
typed "$PORT"
keys Tab space
SETTINGS=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "Tab, Space did not connect to $PORT"
shot "$SETTINGS" settings
maximizable "$SETTINGS" && fail "the settings window can be maximized"

# The focus starts on "Wstecz"; the name field comes before its check box in the tab order.
keys Tab space shift+Tab End
typed " 2"
keys Tab Tab space Tab "${CHOOSE_SECOND[@]}"
keys Tab space Tab
typed 4321
keys Tab space
shot "$SETTINGS" settings-filled
keys Tab space
CONFIRM=$(wait_window '^KALDOR ZK405 - Potwierdź dane\.\.\.:   $' "$MAIN" "$SETTINGS") ||
    fail "Tab, Space did not reach Programuj"
shot "$CONFIRM" confirm
keys Return
wait_for_line transcript.txt 'AT+BFLOW=' || fail "the settings were not programmed"
sleep 1.3 # the last command's one-second wait for the module's answer

# Round from "Programuj" to "Wstecz"; then Space on "Dalej..." connects again, Escape leaves, twice.
keys Tab space
wait_gone "$SETTINGS" || fail "Tab, Space did not press Wstecz"
for way in Escape Escape; do
    keys space
    AGAIN=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "Space in the port window did not connect again"
    keys "$way"
    wait_gone "$AGAIN" || fail "$way did not leave the settings window"
done
keys Tab space
for _ in $(seq 50); do
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$APP_PID" 2>/dev/null && fail "Tab, Space did not press Zakończ"
wait "$APP_PID"
STATUS=$?
APP_PID=""
[[ $STATUS == 0 ]] || fail "the program ended with status $STATUS"

# The name went out in Windows-1250 ("Ł", "ó" and "ź" are A3, F3 and 9F, escaped by the transcript);
# the authentication, ticked without a choice, sends nothing.
cut -d' ' -f2- transcript.txt >commands.txt
printf '%s\n' 'AT+BNAME?' 'AT+BNAME=Biuro \xA3\xF3d\x9F 2' 'AT+BPIN=4321' 'AT+BFLOW=2' 'AT+BNAME?' 'AT+BNAME?' \
    >expected-commands.txt
cmp -s commands.txt expected-commands.txt || fail "commands differ:$(echo; cat commands.txt)"
echo "keyboard only: $PORT typed, name, PIN, protocol and authentication ticked and programmed, Wstecz, Escape, reconnected twice, quit"
