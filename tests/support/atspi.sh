# shellcheck shell=bash
# Helpers for the scripts that read a program's windows through the accessibility bus, as a screen
# reader does (source it; the reading itself is atspi_tree.py's, beside this file).
#
#   atspi_require              exits 77 (skipped) unless the accessibility bus answers and Python reads it
#   atspi PID ARGS...          atspi_tree.py --pid PID ARGS...: waits (--wait, ten seconds by default)
#                              for what ARGS ask for; fails when it does not come
#   atspi_tab_order PID ROLE:NAME...
#                              presses Tab once for each ROLE:NAME given and checks that the focus then
#                              lands on it, in that order; fails naming the first that it did not reach

ATSPI_TREE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)/atspi_tree.py"

atspi_require() {
    if ! /usr/bin/python3 -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null; then
        echo "python3-gi with gir1.2-atspi-2.0 missing; skipped"
        exit 77
    fi
    if ! timeout 5 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress >/dev/null 2>&1; then
        echo "no accessibility bus (run under tests/support/with-atspi.sh); skipped"
        exit 77
    fi
}

atspi() {
    local pid=$1
    shift
    "$ATSPI_TREE" --pid "$pid" "$@"
}

atspi_tab_order() {
    local pid=$1 stop
    shift
    for stop in "$@"; do
        xdotool key Tab
        atspi "$pid" focused --role "${stop%%:*}" --name "${stop#*:}" >/dev/null ||
            { echo "Tab did not reach $stop" >&2; return 1; }
    done
}
