# shellcheck shell=bash
# What the test and run scripts all begin with (source it): a work folder that goes at exit with the
# processes started for the script, fail, the simulated module started and its port read, a free
# /dev/rfcommN to link a module at.
#
#   harness_work PREFIX        WORK becomes a new /tmp/PREFIX-XXXXXX; at exit the simulator is stopped,
#                              the caller's exit_steps run, every child is waited for and WORK is
#                              removed
#   exit_steps                 the caller's own steps for the exit, a function it may define (to end
#                              its other processes, say); whatever fails in it, WORK still goes
#   fail MESSAGE               "FAIL: MESSAGE" on stderr, then the caller's failure_details (a
#                              function it may define; its output goes to stderr too) and exit 1
#   harness_start_sim PROGRAM [ARGS]
#                              starts the simulator with stdout and stderr in WORK/sim.out and sim.err
#                              and waits up to ten seconds for its first line. SIM_PID is its process,
#                              SIM_PTY its pseudo-terminal (the first line), SIM_PORT the port name
#                              of its link when the link is one the port list shows ("com99" for
#                              /dev/rfcomm2), empty otherwise. Fails when no port was printed.
#   harness_stop_sim           stops the simulator harness_start_sim started and waits for it; fails
#                              when it had ended already
#   harness_free_rfcomm [N...] prints the first of /dev/rfcommN (in the order given, 0 to 31 by
#                              default) that nothing occupies; fails when /dev cannot be written or
#                              none is free
#   harness_kill PID...        SIGTERM to every PID given, empty ones left out, no complaint

WORK=""
SIM_PID=""
SIM_PTY=""
SIM_PORT=""

harness_kill() {
    local pid
    for pid in "$@"; do
        if [[ -n "$pid" ]]; then kill "$pid" 2>/dev/null || true; fi
    done
}

# shellcheck disable=SC2317 # run by the EXIT trap
harness_cleanup() {
    harness_kill "$SIM_PID"
    if declare -F exit_steps >/dev/null; then exit_steps || true; fi
    wait 2>/dev/null || true
    if [[ -n "$WORK" ]]; then rm -rf "$WORK" || true; fi
}

harness_work() {
    WORK=$(mktemp -d "/tmp/$1-XXXXXX") || { echo "cannot make a work folder in /tmp" >&2; exit 1; }
    trap harness_cleanup EXIT
}

fail() {
    echo "FAIL: $*" >&2
    if declare -F failure_details >/dev/null; then failure_details >&2 || true; fi
    exit 1
}

harness_start_sim() {
    "$@" >"$WORK/sim.out" 2>"$WORK/sim.err" &
    SIM_PID=$!
    SIM_PTY=""
    SIM_PORT=""
    local _
    for _ in $(seq 200); do
        # A whole line: the simulator flushes its ports once they are all set up.
        [[ -f "$WORK/sim.out" && $(wc -l <"$WORK/sim.out") -gt 0 ]] && break
        kill -0 "$SIM_PID" 2>/dev/null || break
        sleep 0.05
    done
    # shellcheck disable=SC2034 # SIM_PTY and SIM_PORT are the caller's to read
    SIM_PTY=$(head -n1 "$WORK/sim.out" 2>/dev/null) || true
    [[ -n "$SIM_PTY" ]] || return 1
    # The first module's line, written before the ports: "zk405-sim: module ... linked at PATH (comN)".
    # shellcheck disable=SC2034
    SIM_PORT=$(grep -m1 '^zk405-sim: module ' "$WORK/sim.err" |
        sed -n 's/.*, linked at .* (\(com[0-9]*\))$/\1/p') || true
}

harness_stop_sim() {
    [[ -n "$SIM_PID" ]] || return 1
    local running=0
    kill "$SIM_PID" 2>/dev/null || running=1
    wait "$SIM_PID" 2>/dev/null || true
    SIM_PID=""
    return "$running"
}

harness_free_rfcomm() {
    [[ -w /dev ]] || return 1
    [[ $# -gt 0 ]] || set -- {0..31}
    local n
    for n in "$@"; do
        if [[ ! -e /dev/rfcomm$n && ! -L /dev/rfcomm$n ]]; then
            echo "/dev/rfcomm$n"
            return 0
        fi
    done
    return 1
}
