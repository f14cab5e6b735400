#!/usr/bin/env bash
# The program stopped by a signal while it programs the module, driven like end_to_end.sh: for each of
# SIGTERM, SIGINT and SIGHUP the exchange under way ends, no further command goes out, the windows
# close, the traffic log holds its last line, the port's lock is gone and the port opens again; the
# exit status is 128 + the signal.
#
# Usage: stop_signal_end_to_end.sh ZK405 ZK405-SIM ZK405-CLI ARTIFACT_DIR
# Needs DISPLAY, xdotool and ImageMagick's import; exits 77 (skipped) without them.
set -euo pipefail

PROGRAM=$(realpath "$1")
SIM=$(realpath "$2")
CLI=$(realpath "$3")
ARTIFACTS=$(realpath -m "$4")

# shellcheck source=../support/xwindow.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/xwindow.sh"
# shellcheck source=../support/harness.sh
source "$(dirname "${BASH_SOURCE[0]}")/../support/harness.sh"
xwindow_require xdotool import xdpyinfo xprop

mkdir -p "$ARTIFACTS"
harness_work zk405-stop
APP_PID=""
XWINDOW_WM_PID=""
exit_steps() {
    if [[ -n "$APP_PID" ]]; then kill -KILL "$APP_PID" 2>/dev/null || true; fi
    harness_kill "$XWINDOW_WM_PID"
}

failure_details() {
    windows | sed 's/^/  window /'
    import -window root "$ARTIFACTS/failure.png" 2>/dev/null || true
}

MAIN_TITLE='^KALDOR ZK405 - Program konfiguracyjny\.$'

cd "$WORK"
xwindow_manager || fail "no window manager"
for signal in TERM INT HUP; do
    rm -f transcript.txt TxRx.log
    harness_start_sim "$SIM" --transcript "$WORK/transcript.txt" || fail "the simulator did not start: $(cat sim.err)"
    PORT=$SIM_PTY
    DEVICE=${PORT#/dev/}
    LOCK=/run/lock/LCK..${DEVICE//\//_}

    "$PROGRAM" >app.out 2>&1 &
    APP_PID=$!
    MAIN=$(wait_window "$MAIN_TITLE") || fail "no port selection window"
    xdotool windowfocus --sync "$MAIN"
    click_du "$MAIN" 270 206 350 242
    xdotool key ctrl+a
    xdotool type --delay 20 "$PORT"
    click_du "$MAIN" 318 228 350 242
    SETTINGS=$(wait_window "$MAIN_TITLE" "$MAIN") || fail "no settings window for $PORT: $(cat app.out)"
    xdotool windowfocus --sync "$SETTINGS"

    # Name and PIN ticked; the signal comes while the name's answer is awaited.
    click_du "$SETTINGS" 14 71 350 242
    click_du "$SETTINGS" 276 76 350 242
    xdotool key ctrl+a
    xdotool type --delay 20 "Nowa"
    click_du "$SETTINGS" 14 143 350 242
    click_du "$SETTINGS" 276 145 350 242
    xdotool type --delay 20 "4321"
    click_du "$SETTINGS" 318 228 350 242
    CONFIRM=$(wait_window '^KALDOR ZK405 - Potwierdź dane' "$MAIN" "$SETTINGS") || fail "no confirmation summary"
    xdotool windowfocus --sync "$CONFIRM"
    xdotool key Return
    wait_for_line transcript.txt 'AT+BNAME=Nowa' || fail "the name was not programmed"
    kill -s "$signal" "$APP_PID"
    EXIT_STATUS=""
    wait_exit "$APP_PID" || fail "SIG$signal did not end the program"
    APP_PID=""
    expected=$((128 + $(kill -l "$signal")))
    [[ $EXIT_STATUS == "$expected" ]] || fail "SIG$signal: exit status $EXIT_STATUS, not $expected"

    cut -d' ' -f2- transcript.txt >commands.txt
    printf '%s\n' 'AT+BNAME?' 'AT+BNAME=Nowa' >expected-commands.txt
    cmp commands.txt expected-commands.txt || fail "SIG$signal: commands differ: $(cat commands.txt)"
    {
        printf '\nWritten:\n'
        printf '41 54 2B 42 4E 41 4D 45 3F 0D 0A 41 54 2B 42 4E    AT+BNAME?..AT+BN\n'
        printf '%s%21s%s\n' '41 4D 45 3D 4E 6F 77 61 0D 0A ' '' 'AME=Nowa..'
    } >expected.log
    cmp TxRx.log expected.log || fail "SIG$signal: TxRx.log differs:$(echo; cat -A TxRx.log)"
    [[ ! -e $LOCK ]] || fail "SIG$signal: $LOCK was left behind"
    "$CLI" name "$PORT" --quiet >/dev/null || fail "SIG$signal: $PORT does not open again"
    harness_stop_sim || fail "SIG$signal: the simulator had ended"
done
echo "stop signals: SIGTERM, SIGINT and SIGHUP each ended the programming cleanly"
