#!/usr/bin/env bash
# ZK405.EXE under Wine against the simulated module on a COM port, driven like a user would with
# xdotool in Wine's virtual desktop: start, open the About box from the system menu, pick the module's
# port from the list, read the module's name, add to it and program it with a new PIN, a protocol and
# an authentication mode (tick, type, choose, "Programuj", confirm with OK), go back, connect again,
# go back, "Zakończ". Then the exit status, the commands the module received and both sessions'
# TxRx.log are checked byte for byte. Screenshots of every window are left in the artifact directory.
#
# Usage: end_to_end_wine.sh ZK405.exe ZK405-SIM ARTIFACT_DIR [WINE]
# Wine's prefix is $WINEPREFIX as scripts/windows/wine-env.sh set it up (test-windows.sh does).
# Needs DISPLAY, xdotool, xwininfo and ImageMagick's import; exits 77 (skipped) without them.
set -uo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
ARTIFACTS=$(realpath -m "$3")
[[ $# -ge 4 ]] && export WINE="$4"
SCRIPTS=$(cd "$(dirname "${BASH_SOURCE[0]}")/../../scripts/windows" && pwd)

# shellcheck source=../support/xwindow.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/xwindow.sh"
# shellcheck source=../support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/harness.sh"
xwindow_require xdotool import xdpyinfo xwininfo
# Wine's windows are found by their titles; a window is waited for up to five seconds.
XWINDOW_SEARCH=--name
XWINDOW_WAIT=5
# shellcheck source=../../scripts/windows/wine-env.sh
ZK405_WINE_FUNCTIONS_ONLY=1 source "$SCRIPTS/wine-env.sh" "" || exit 1

# "com99" sorts after every other name the probe can list ("com1" to "com128"), so the module's port
# is the list's last entry whatever other ports this machine has.
COM=99
MODULE_NAME="Biuro Łódź"

mkdir -p "$ARTIFACTS"
rm -f "$ARTIFACTS"/*.png
harness_work zk405-wine-e2e
APP_PID=""
exit_steps() {
    harness_kill "$APP_PID"
    wait 2>/dev/null
    zk405_wine_unlink_com "$COM"
}

failure_details() {
    windows | sed 's/^/  window /'
    timeout 10 import -window root "$ARTIFACTS/failure.png" 2>/dev/null
    [[ -s "$WORK/app.out" ]] && sed 's/^/  program: /' "$WORK/app.out"
}

# In the virtual desktop Wine draws each window's frame inside its X window: a dialog frame of 3 pixels
# and, above the client area, a 19-pixel caption. A point given in the template's dialog units (the
# window being CX x CY units) is found from the client area's size in pixels, so the clicks follow the
# font Wine actually used.
FRAME=3
CAPTION=19
at_du() {
    local window=$1 x=$2 y=$3 cx=$4 cy=$5
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # shellcheck disable=SC2153 # WIDTH and HEIGHT come from xdotool's --shell output
    local client_width=$((WIDTH - 2 * FRAME)) client_height=$((HEIGHT - 2 * FRAME - CAPTION))
    echo "$((FRAME + x * client_width / cx)) $((FRAME + CAPTION + y * client_height / cy))"
}

# In place of xwindow.sh's click_du: Wine draws the frame and caption inside the window it shows.
click_du() {
    local window=$1
    shift
    # shellcheck disable=SC2046
    xdotool mousemove --window "$window" $(at_du "$window" "$@") click 1
    sleep 0.2
}

# A click on the caption makes a window active again after a window on top of it has gone: keys go
# nowhere before that.
activate() {
    xdotool mousemove --window "$1" 200 $((FRAME + CAPTION / 2)) click 1
    sleep 0.2
}

# The desktop around a window, for a drop-down list or menu, which are windows of their own.
shot_around() {
    sleep 0.3
    # xwininfo, as xdotool counts a child window's offset twice
    local info x y width height
    info=$(xwininfo -id "$1") || fail "window $1 is gone"
    x=$(awk '/Absolute upper-left X/ {print $NF}' <<<"$info")
    y=$(awk '/Absolute upper-left Y/ {print $NF}' <<<"$info")
    width=$(awk '/Width:/ {print $NF}' <<<"$info")
    height=$(awk '/Height:/ {print $NF}' <<<"$info")
    timeout 10 import -window root -crop "$((width + 40))x$((height + 40))+$((x - 20))+$((y - 20))" +repage \
        "$ARTIFACTS/$2.png" || fail "no screenshot of $2"
}

START_MS=$(date +%s%3N)
cd "$WORK" || exit 1
harness_start_sim "$SIM" --name "$MODULE_NAME" --transcript "$WORK/transcript.txt" ||
    fail "the simulator did not start: $(cat sim.err)"
zk405_wine_link_com "$COM" "$SIM_PTY"

# The program writes TxRx.log into its current directory, this one.
zk405_wine_wait_desktop_gone
"$WINE" "$PROGRAM" >app.out 2>&1 &
APP_PID=$!

MAIN_TITLE='^KALDOR ZK405 - Program konfiguracyjny\.$'
MAIN=$(wait_window "$MAIN_TITLE") || fail "no port selection window"
shot "$MAIN" port-select

# The About item is the system menu's last: the caption's icon opens the menu, Up wraps round to it.
xdotool mousemove --window "$MAIN" $((FRAME + 8)) $((FRAME + CAPTION / 2)) click 1
shot_around "$MAIN" system-menu
xdotool key Up
xdotool key Return
ABOUT=$(wait_window '^About ZK405$') || fail "the system menu's About item did not open the About box"
shot "$ABOUT" about
click_du "$ABOUT" 203 14 235 55
wait_gone "$ABOUT" || fail "OK did not close the About box"

# The port: the list drops from its button; Down, as often as there can be entries, goes to its last,
# which Enter takes into the text field. Then "Dalej...".
activate "$MAIN"
click_du "$MAIN" 298 206 350 242
xdotool key --delay 5 --repeat 130 Down
shot_around "$MAIN" port-list
xdotool key Return
shot "$MAIN" port-chosen
click_du "$MAIN" 318 228 350 242
SETTINGS=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "no settings window for com$COM: $(cat transcript.txt)"
shot "$SETTINGS" settings

# All four settings: the name read from the module is kept and added to, the PIN typed, the protocol
# and the authentication chosen; then "Programuj" and OK.
click_du "$SETTINGS" 14 71 350 242
click_du "$SETTINGS" 276 76 350 242
xdotool key End
xdotool type --delay 20 " 2"
click_du "$SETTINGS" 14 143 350 242
click_du "$SETTINGS" 276 145 350 242
xdotool type --delay 20 "4321"
# The protocol's second entry from its list, and the second authentication choice.
click_du "$SETTINGS" 14 107 350 242
click_du "$SETTINGS" 328 108 350 242
xdotool key Down Down Return
click_du "$SETTINGS" 14 179 350 242
click_du "$SETTINGS" 258 180 350 242
shot "$SETTINGS" settings-filled
click_du "$SETTINGS" 318 228 350 242
CONFIRM=$(wait_window '^KALDOR ZK405 - Potwierdź dane\.\.\.:   $' "$MAIN" "$SETTINGS") ||
    fail "no confirmation summary"
shot "$CONFIRM" confirm
xdotool key Return
wait_for_line transcript.txt 'AT+BSEC=2' || fail "the settings were not programmed: $(cat transcript.txt)"
# The window takes no clicks during the last command's one-second wait for the module's answer.
sleep 1.3

# "Wstecz" closes the port; the first session's log is complete now.
click_du "$SETTINGS" 32 228 350 242
wait_gone "$SETTINGS" || fail "Wstecz did not close the settings window"
cp TxRx.log first-session.log 2>/dev/null || fail "no TxRx.log after the first session"

# Connect again on the port still in the text field, go back again, then "Zakończ".
click_du "$MAIN" 318 228 350 242
AGAIN=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "no settings window on the second connection"
click_du "$AGAIN" 32 228 350 242
wait_gone "$AGAIN" || fail "Wstecz did not close the second settings window"
click_du "$MAIN" 32 228 350 242

wait_exit "$APP_PID" || fail "the program did not end on Zakończ"
APP_PID=""
[[ $EXIT_STATUS == 0 ]] || fail "the program ended with status $EXIT_STATUS"

# What the module received, the time column aside. The name sent is the name field's text, so it also
# shows that the field held the module's name as read. It went out in Windows-1250: "Ł", "ó" and "ź"
# are A3, F3 and 9F, which the simulator's transcript writes escaped.
cut -d' ' -f2- transcript.txt >commands.txt
printf '%s\n' 'AT+BNAME?' 'AT+BNAME=Biuro \xA3\xF3d\x9F 2' 'AT+BPIN=4321' 'AT+BFLOW=2' 'AT+BSEC=2' 'AT+BNAME?' \
    >expected-commands.txt
cmp -s commands.txt expected-commands.txt || fail "commands differ:$(echo; cat commands.txt)"

{
    printf '\nWritten:\n'
    printf '41 54 2B 42 4E 41 4D 45 3F 0D 0A 41 54 2B 42 4E    AT+BNAME?..AT+BN\n'
    printf '41 4D 45 3D 42 69 75 72 6F 20 A3 F3 64 9F 20 32    AME=Biuro ..d. 2\n'
    printf '0D 0A 41 54 2B 42 50 49 4E 3D 34 33 32 31 0D 0A    ..AT+BPIN=4321..\n'
    printf '41 54 2B 42 46 4C 4F 57 3D 32 0D 0A 41 54 2B 42    AT+BFLOW=2..AT+B\n'
    printf '53 45 43 3D 32 0D 0A                               SEC=2..\n'
} >expected-first.log
{
    printf '\nWritten:\n'
    printf '41 54 2B 42 4E 41 4D 45 3F 0D 0A                   AT+BNAME?..\n'
} >expected-second.log
cmp -s first-session.log expected-first.log || fail "first TxRx.log differs:$(echo; cat -A first-session.log)"
cmp -s TxRx.log expected-second.log || fail "second TxRx.log differs:$(echo; cat -A TxRx.log)"

printf 'end to end under Wine: com%s picked, About box, name read, all four settings programmed, ' "$COM"
ELAPSED_MS=$(($(date +%s%3N) - START_MS))
printf 'reconnected, quit with status 0 in %d.%d s\n' $((ELAPSED_MS / 1000)) $((ELAPSED_MS % 1000 / 100))
