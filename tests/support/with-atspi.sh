#!/usr/bin/env bash
# Runs a command where the windows of the programs it starts can be read through the accessibility
# bus (AT-SPI), as a screen reader reads them: a private D-Bus session bus, and on it at-spi's own bus
# with its registry. Everything started for it is stopped when the command ends, however it ends.
# When an accessibility bus already answers (a desktop's, or an outer run of this script) the command
# runs on that one, and when at-spi is not installed it runs as it is: the tests that need the bus
# then report themselves skipped.
#
# Usage: with-atspi.sh COMMAND [ARGS...]
# ZK405_ATSPI_PRIVATE=1 makes a private bus even when another one answers.
set -euo pipefail

LAUNCHER=${ZK405_ATSPI_LAUNCHER:-/usr/libexec/at-spi-bus-launcher}

accessibility_bus_answers() {
    [[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]] &&
        timeout 5 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
            >/dev/null 2>&1
}

# Asked only once the launcher has taken its name: a question before that would have the session bus
# start another launcher of its own.
accessibility_bus_address() {
    local reply
    reply=$(dbus-send --session --print-reply=literal --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.a11y.Bus 2>/dev/null) || return 1
    [[ $reply == *true* ]] || return 1
    reply=$(timeout 5 dbus-send --session --print-reply=literal --dest=org.a11y.Bus /org/a11y/bus \
        org.a11y.Bus.GetAddress 2>/dev/null) || return 1
    echo "${reply//[[:space:]]/}"
}

# On the private session bus: at-spi's bus started, the command run, the bus stopped. The bus's socket
# is named after the display and its address is left on the display's root window, where any other
# run on the same display would take it over: the socket goes in this run's own folder, and the
# command is given the address itself, which the toolkit's bridge takes before the display's.
on_session_bus() {
    # Nothing started here may find its way to another run's bus.
    unset AT_SPI_BUS_ADDRESS
    XDG_RUNTIME_DIR=$ZK405_ATSPI_DIR "$LAUNCHER" --launch-immediately >/dev/null 2>&1 &
    local launcher=$! status=0 address=""
    local _
    for _ in $(seq 100); do
        address=$(accessibility_bus_address) && break
        kill -0 "$launcher" 2>/dev/null || break
        sleep 0.05
    done
    if [[ -z "$address" ]]; then
        echo "with-atspi.sh: at-spi's bus did not start" >&2
        kill "$launcher" 2>/dev/null || true
        exit 1
    fi
    export AT_SPI_BUS_ADDRESS=$address
    # A toolkit told to leave the bridge out would show no windows on the bus.
    unset NO_AT_BRIDGE
    "$@" || status=$?
    kill "$launcher" 2>/dev/null || true
    wait "$launcher" 2>/dev/null || true
    exit "$status"
}

if [[ "${1:-}" == --on-session-bus ]]; then
    shift
    on_session_bus "$@"
fi

if [[ "${ZK405_ATSPI_PRIVATE:-0}" != 1 ]] && accessibility_bus_answers; then
    exec "$@"
fi
if [[ ! -x "$LAUNCHER" ]] || ! command -v dbus-run-session >/dev/null; then
    exec "$@"
fi

# Every process started from here carries this mark in its environment, the daemons the buses start
# on demand included, so that none of them is left behind: at-spi's registry does not always end
# with its bus.
export ZK405_ATSPI_RUN="$$-$RANDOM$RANDOM"
run=$ZK405_ATSPI_RUN
ZK405_ATSPI_DIR=$(mktemp -d /tmp/zk405-atspi-bus-XXXXXX)
export ZK405_ATSPI_DIR

marked_processes() {
    local environ pid
    for environ in /proc/[0-9]*/environ; do
        pid=${environ#/proc/}
        pid=${pid%/environ}
        [[ $pid == "$$" ]] && continue
        grep -qzx "ZK405_ATSPI_RUN=$run" "$environ" 2>/dev/null && echo "$pid"
    done
    return 0
}

# shellcheck disable=SC2317 # run by the traps
stop_everything() {
    [[ -z "${session:-}" ]] || kill "$session" 2>/dev/null || true
    # The mark stays out of the processes that look for it.
    export -n ZK405_ATSPI_RUN
    local pids _
    for _ in $(seq 50); do
        pids=$(marked_processes)
        [[ -z "$pids" ]] && break
        # shellcheck disable=SC2086 # one word per process id
        kill $pids 2>/dev/null || true
        sleep 0.1
    done
    pids=$(marked_processes)
    # shellcheck disable=SC2086
    [[ -z "$pids" ]] || kill -KILL $pids 2>/dev/null || true
    rm -rf "$ZK405_ATSPI_DIR"
}

session=""
trap 'stop_everything; exit 143' TERM
trap 'stop_everything; exit 130' INT
trap 'stop_everything; exit 129' HUP
status=0
dbus-run-session -- bash "${BASH_SOURCE[0]}" --on-session-bus "$@" <&0 &
session=$!
wait "$session" || status=$?
session=""
stop_everything
exit "$status"
