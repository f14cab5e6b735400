#!/usr/bin/env bash
# The program's windows as a screen reader reads them, through the accessibility bus: the texts shown,
# the buttons' names, which control has the focus as Tab is pressed, the port list, and the buttons
# pressed as a screen reader's user presses them.
#
#   port      the port window: its texts and buttons, the focus on the port field and Tab through
#             Dalej..., Zakończ and back, the simulated module's port in the list (as root, when it can
#             be linked at /dev/rfcommN), the port typed as the field shows it; Zakończ ends the program
#   settings  the settings window for a simulated module: its name read into the greyed name field,
#             the check boxes' texts, the focus on Wstecz and Tab through the boxes, the name field
#             taking input once its box is ticked; Wstecz goes back, Zakończ ends; the module got the
#             name query alone
#
# Usage: atspi_end_to_end.sh port|settings ZK405 ZK405-SIM
# Exits 77 (skipped) without DISPLAY, xdotool, the accessibility bus or its Python bindings.
set -euo pipefail

CASE=$1
PROGRAM=$(realpath "$2")
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

harness_work zk405-atspi-app
APP_PID=""
XWINDOW_WM_PID=""
exit_steps() { harness_kill "$APP_PID" "$XWINDOW_WM_PID"; }
cd "$WORK"

TITLE="KALDOR ZK405 - Program konfiguracyjny."
# The role AT-SPI gives a push button.
BUTTON="push button"

# Each text the window shows is a label of exactly that name.
expect_labels() {
    local label
    for label in "$@"; do
        atspi "$APP_PID" --wait 2 find --role label --name "$label" --state showing >/dev/null ||
            fail "the window shows no label '$label'"
    done
}

start_program() {
    # The window manager focuses the new window, as a desktop does.
    xwindow_manager || fail "no window manager"
    "$PROGRAM" >app.out 2>&1 &
    APP_PID=$!
    atspi "$APP_PID" find --role frame --name "$TITLE" --state active >/dev/null ||
        fail "no port window on the accessibility bus"
}

# Zakończ, pressed through the accessibility bus, ends the program with status 0.
press_quit() {
    atspi "$APP_PID" press --role "$BUTTON" --name "Zakończ" >/dev/null || fail "Zakończ could not be pressed"
    wait_exit "$APP_PID" || fail "Zakończ did not end the program"
    [[ $EXIT_STATUS == 0 ]] || fail "the program ended with status $EXIT_STATUS"
    APP_PID=""
}

port_window() {
    LINK_ARGS=()
    if [[ $(id -u) == 0 ]] && link=$(harness_free_rfcomm 2 {31..0}); then LINK_ARGS=(--link "$link"); fi
    harness_start_sim "$SIM" --name "Drukarka biurowa" "${LINK_ARGS[@]}" ||
        fail "the simulator did not start: $(cat sim.err)"
    start_program
    expect_labels "U S T A W I E N I A   P O Ł Ą C Z E Ń" \
        "Uwaga: przed przystąpieniem do konfiguracji modułu ZK405 upewnij się że " \
        "w komputerze jest poprawnie zainstalowany moduł BlueTooth" \
        "1. Przełącz moduł ZK405 podłączony do drukarki Kaldor soru w tryb konfiguracji:" \
        "(naciśnij i przytrzymaj przycisk konfiguracyjny, aż do momentu," \
        "gdy dioda zacznie zapalać się na czas około 0,5s)" \
        "2. Wybierz numer portu na którym zainstalowany jest moduł BlueTooth:" \
        " (podłączony do komputera):"
    for button in "Dalej..." "Zakończ"; do
        atspi "$APP_PID" find --role "$BUTTON" --name "$button" --state enabled --state showing >/dev/null ||
            fail "no button '$button' to press"
    done

    # The port field has the focus, an empty field the user types into; Tab goes round the window.
    atspi "$APP_PID" focused --role text --text "" --state editable >/dev/null ||
        fail "the port window does not start in the port field"
    atspi_tab_order "$APP_PID" "$BUTTON:Dalej..." "$BUTTON:Zakończ" "text:" || fail "wrong tab order"

    if [[ -n "$SIM_PORT" ]]; then
        atspi "$APP_PID" find --role "menu item" --name "$SIM_PORT" >/dev/null ||
            fail "the port list does not offer $SIM_PORT"
    else
        echo "not root or no free /dev/rfcommN: the list's entries are not checked"
    fi
    xdotool type --delay 20 "$SIM_PTY"
    atspi "$APP_PID" find --role text --text "$SIM_PTY" --state focused >/dev/null ||
        fail "the port field does not show the typed $SIM_PTY"
    press_quit
    echo "port window: texts, Dalej... and Zakończ, tab order, ${SIM_PORT:-no port} listed, $SIM_PTY typed, quit"
}

settings_window() {
    harness_start_sim "$SIM" --name "Drukarka biurowa" --transcript "$WORK/transcript.txt" ||
        fail "the simulator did not start: $(cat sim.err)"
    start_program
    atspi "$APP_PID" focused --role text >/dev/null || fail "the port field has not the focus"
    xdotool type --delay 20 "$SIM_PTY"
    atspi "$APP_PID" find --role text --text "$SIM_PTY" >/dev/null || fail "the port was not typed"
    atspi "$APP_PID" press --role "$BUTTON" --name "Dalej..." >/dev/null || fail "Dalej... could not be pressed"

    # The module's name, read from it, in the name field, greyed until its box is ticked.
    atspi "$APP_PID" find --role text --text "Drukarka biurowa" --state showing --no-state enabled >/dev/null ||
        fail "the settings window does not show the module's name in a greyed field"
    expect_labels "U S T A W I E N I A   M O D U Ł U   K A L D O R   Z K 4 0 5" \
        "(np. w trakcie połączenia z komputerem) max. 31 znaków:" \
        "W innym wypadku parametr nie ulegnie zmianie."
    local name_box="Wpisz nazwę, pod którą będzie zgłaszał się moduł ZK405 "
    for box in "$name_box" "Protokół:" "PIN (0-16 znaków):" "Uwierztelnianie:"; do
        atspi "$APP_PID" find --role "check box" --name "$box" --state enabled --no-state checked >/dev/null ||
            fail "no unticked box '$box'"
    done
    for button in Wstecz Programuj; do
        atspi "$APP_PID" find --role "$BUTTON" --name "$button" --state enabled --state showing >/dev/null ||
            fail "no button '$button' to press"
    done

    # The window starts on Wstecz; Tab passes the greyed fields by.
    atspi "$APP_PID" focused --role "$BUTTON" --name Wstecz >/dev/null || fail "the settings window does not start on Wstecz"
    atspi_tab_order "$APP_PID" "check box:$name_box" "check box:Protokół:" "check box:PIN (0-16 znaków):" \
        "check box:Uwierztelnianie:" "$BUTTON:Programuj" "$BUTTON:Wstecz" || fail "wrong tab order"

    # Ticked, the name box lets its field take input.
    atspi "$APP_PID" press --role "check box" --name "$name_box" >/dev/null || fail "the name box could not be ticked"
    atspi "$APP_PID" find --role "check box" --name "$name_box" --state checked >/dev/null || fail "the name box is not ticked"
    atspi "$APP_PID" find --role text --text "Drukarka biurowa" --state enabled --state editable >/dev/null ||
        fail "the ticked name box left its field greyed"

    atspi "$APP_PID" press --role "$BUTTON" --name Wstecz >/dev/null || fail "Wstecz could not be pressed"
    atspi "$APP_PID" gone --role "$BUTTON" --name Wstecz >/dev/null || fail "Wstecz did not close the settings window"
    press_quit
    cut -d' ' -f2- transcript.txt | cmp -s - <(echo 'AT+BNAME?') ||
        fail "the module got other commands: $(cat transcript.txt)"
    echo "settings window: the module's name read, the boxes and buttons, tab order, the name box ticked, back, quit"
}

case $CASE in
    port) port_window ;;
    settings) settings_window ;;
    *) fail "no case '$CASE' (port or settings)" ;;
esac
