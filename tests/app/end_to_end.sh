#!/usr/bin/env bash
# The whole program against the simulated module, driven like a user would with xdotool:
#   start, open the About box from the context menu, pick the module's port, read its name, program a
#   new name and PIN (tick, type, "Programuj", confirm), go back, connect again, go back, quit.
# Then the commands the module received and both sessions' TxRx.log are compared byte for byte.
# Screenshots of every window are left in the artifact directory.
#
# Usage: end_to_end.sh ZK405 ZK405-SIM ARTIFACT_DIR [FILE_SIZE_LIMIT]
# With a file size limit in bytes the program runs under it (prlimit --fsize): programming must go on
# all the same, and each TxRx.log holds what fits under the limit.
# Needs DISPLAY, xdotool and ImageMagick's import; exits 77 (skipped) without them.
set -euo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
ARTIFACTS=$(realpath -m "$3")
FSIZE=${4:-}
RUN=("$PROGRAM")
[[ -n "$FSIZE" ]] && RUN=(prlimit --fsize="$FSIZE" "$PROGRAM")

# shellcheck source=../support/xwindow.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/xwindow.sh"
# shellcheck source=../support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/harness.sh"
xwindow_require xdotool import xdpyinfo xprop

mkdir -p "$ARTIFACTS"
harness_work zk405-e2e
APP_PID=""
XWINDOW_WM_PID=""
exit_steps() { harness_kill "$APP_PID" "$XWINDOW_WM_PID"; }

failure_details() {
    windows | sed 's/^/  window /'
    import -window root "$ARTIFACTS/failure.png" 2>/dev/null || true
}

# Both windows are 350 x 242 dialog units, the About box 235 x 55 (click_du, in xwindow.sh).
MAIN_TITLE='^KALDOR ZK405 - Program konfiguracyjny\.$'

# The module's port. As root the module is linked at a free /dev/rfcommN, which the program's own
# probe lists under the port name the simulator then gives; /dev/rfcomm2 is preferred because its
# "com99" sorts after every other "com" name, so it is the list's last entry and can be picked from
# the list with End. Otherwise the pseudo-terminal's path is typed, as a user may type any device.
LINK_ARGS=()
if [[ $(id -u) == 0 ]] && link=$(harness_free_rfcomm 2 {31..0}); then
    LINK_ARGS=(--link "$link")
fi

cd "$WORK"
harness_start_sim "$SIM" --name "Drukarka biurowa" --transcript "$WORK/transcript.txt" "${LINK_ARGS[@]}" ||
    fail "the simulator did not start: $(cat sim.err)"
PORT=${SIM_PORT:-$SIM_PTY}
PICK=0
[[ $PORT == com99 ]] && PICK=1

# The screenshots show the frame and caption a user sees.
xwindow_manager || fail "no window manager"
"${RUN[@]}" >app.out 2>&1 &
APP_PID=$!

MAIN=$(wait_window "$MAIN_TITLE") || fail "no port selection window"
xdotool windowfocus --sync "$MAIN"
shot "$MAIN" port-select

# The About item: the context menu on GTK (the system menu on Windows).
click_du "$MAIN" 175 100 350 242 3
import -window root "$ARTIFACTS/context-menu.png"
xdotool key Down Return
ABOUT=$(wait_window '^About ZK405$') || fail "the About item did not open the About box"
shot "$ABOUT" about
click_du "$ABOUT" 203 14 235 55
wait_gone "$ABOUT" || fail "OK did not close the About box"

# The port: picked from the list (Alt+Down drops it, End goes to the last entry) or typed into its text
# field; then "Dalej...".
xdotool windowfocus --sync "$MAIN"
click_du "$MAIN" 270 206 350 242
if [[ $PICK == 1 ]]; then
    xdotool key alt+Down
    sleep 0.5
    import -window root "$ARTIFACTS/port-list.png"
    xdotool key End Return
else
    xdotool key ctrl+a
    xdotool type --delay 20 "$PORT"
fi
shot "$MAIN" port-chosen
click_du "$MAIN" 318 228 350 242
SETTINGS=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "no settings window for $PORT: $(cat app.out)"
xdotool windowfocus --sync "$SETTINGS"
shot "$SETTINGS" settings

# New name and PIN: tick, type, "Programuj", confirm with OK.
click_du "$SETTINGS" 14 71 350 242
click_du "$SETTINGS" 276 76 350 242
xdotool key ctrl+a
xdotool type --delay 20 "Nowa nazwa"
click_du "$SETTINGS" 14 143 350 242
click_du "$SETTINGS" 276 145 350 242
xdotool type --delay 20 "4321"
shot "$SETTINGS" settings-filled
click_du "$SETTINGS" 318 228 350 242
CONFIRM=$(wait_window '^KALDOR ZK405 - Potwierdź dane\.\.\.:   $' "$MAIN" "$SETTINGS") || fail "no confirmation summary"
xdotool windowfocus --sync "$CONFIRM"
shot "$CONFIRM" confirm
xdotool key Return
wait_for_line transcript.txt 'AT+BPIN=4321' || fail "the PIN was not programmed"
sleep 1.5 # the PIN command's one-second wait for the module's answer

# "Wstecz" closes the port; the first session's log is complete now.
click_du "$SETTINGS" 32 228 350 242
wait_gone "$SETTINGS" || fail "Wstecz did not close the settings window"
cp TxRx.log first-session.log

# Connect again, go back again, then "Zakończ".
xdotool windowfocus --sync "$MAIN"
click_du "$MAIN" 318 228 350 242
AGAIN=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "no settings window on the second connection"
xdotool windowfocus --sync "$AGAIN"
shot "$AGAIN" settings-again
click_du "$AGAIN" 32 228 350 242
wait_gone "$AGAIN" || fail "Wstecz did not close the second settings window"
xdotool windowfocus --sync "$MAIN"
click_du "$MAIN" 32 228 350 242

status=0
for _ in $(seq 100); do kill -0 "$APP_PID" 2>/dev/null || break; sleep 0.1; done
wait "$APP_PID" || status=$?
APP_PID=""
[[ $status == 0 ]] || fail "the program ended with status $status"

# What the module received: the time column aside, every command as it arrived (the simulator writes
# a command without its CR LF, which the logs below show).
cut -d' ' -f2- transcript.txt >commands.txt
printf '%s\n' 'AT+BNAME?' 'AT+BNAME=Nowa nazwa' 'AT+BPIN=4321' 'AT+BNAME?' >expected-commands.txt
cmp commands.txt expected-commands.txt || fail "commands differ: $(cat commands.txt)"

# The traffic logs: the first session's three commands, the second's name query.
{
    printf '\nWritten:\n'
    printf '41 54 2B 42 4E 41 4D 45 3F 0D 0A 41 54 2B 42 4E    AT+BNAME?..AT+BN\n'
    printf '41 4D 45 3D 4E 6F 77 61 20 6E 61 7A 77 61 0D 0A    AME=Nowa nazwa..\n'
    printf '41 54 2B 42 50 49 4E 3D 34 33 32 31 0D 0A          AT+BPIN=4321..\n'
} >expected-first.log
{
    printf '\nWritten:\n'
    printf '41 54 2B 42 4E 41 4D 45 3F 0D 0A                   AT+BNAME?..\n'
} >expected-second.log
if [[ -n "$FSIZE" ]]; then
    head -c "$FSIZE" expected-first.log >expected.tmp && mv expected.tmp expected-first.log
    head -c "$FSIZE" expected-second.log >expected.tmp && mv expected.tmp expected-second.log
fi
cmp first-session.log expected-first.log || fail "first TxRx.log differs:$(echo; cat -A first-session.log)"
cmp TxRx.log expected-second.log || fail "second TxRx.log differs:$(echo; cat -A TxRx.log)"

echo "end to end${FSIZE:+ under a file size limit of $FSIZE bytes}: $PORT ($([[ $PICK == 1 ]] && echo picked || echo typed)), About box, name read, name and PIN programmed, reconnected, quit"
