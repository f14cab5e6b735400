#!/usr/bin/env bash
# Sets up everything, builds the tool and runs it, then says what to try next.
#   scripts/run.sh            with a simulated ZK405 on a pseudo-terminal (no hardware needed)
#   scripts/run.sh --module   with a real module only: no simulator is started
# With a display the simulated module runs until the program's window is closed. Without an X display
# the program is shown on a private virtual display for a few seconds and a screenshot of its first
# window is saved, so the set-up can be checked on a machine with no screen; the simulated module then
# runs on until Enter is pressed, when there is a terminal to press it on.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Only the programs, the simulated module and the monitor: no tests or benchmarks to build first.
cmake --preset run >/dev/null
cmake --build --preset run
bin=build/run
app=$bin/app/zk405
cli=$bin/tools/zk405-cli

# shellcheck source=../tests/support/harness.sh
source tests/support/harness.sh
harness_work zk405-run

port=""
shot=""
if [[ "${1:-}" != "--module" ]]; then
  # As root the simulated port is linked where the port list looks, and the simulator says under
  # which name; otherwise its path is typed into the port field.
  link=$(harness_free_rfcomm) || link=/tmp/zk405-sim-$(id -u)
  harness_start_sim "$bin/tools/zk405-sim" --name "KALDOR ZK405" --link "$link" ||
    { cat "$WORK/sim.err" >&2; echo "the simulated module did not start" >&2; exit 1; }
  cat "$WORK/sim.err" >&2
  port=${SIM_PORT:-$link}
  echo "Simulated ZK405 on $SIM_PTY, linked at $link."
fi

# What a newcomer does next: the port to pick, the same module from the command line.
next_steps() {
  echo
  echo "What to try next:"
  if [[ -z "$port" ]]; then
    echo "  - in the port window pick the module's port (put the module into configuration mode first);"
    echo "    $cli list   shows which ports can be opened and what they are"
    echo "  - $cli name PORT   reads the module's name from the command line"
  else
    echo "  - in the port window pick or type $port and press \"Dalej...\": the module's name is read"
    echo "  - the same module from the command line (while no window holds the port):"
    echo "      $cli name $port"
    echo "      $cli program $port --name \"Linia 3 / 1\" --flow RTS/CTS"
  fi
  if [[ -n "${shot:-}" ]]; then echo "  - the program's first window, as it showed: $shot"; fi
  echo "  - $bin/tools/zk405-monitor in another terminal shows every byte the program sends"
  echo "  - README.md, \"Using it\", tells the rest; bash scripts/test.sh runs every test"
}

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  next_steps
  [[ -n "$port" ]] && echo "The simulated module runs until the program's window is closed."
  status=0
  "$app" || status=$?
  [[ -n "$port" ]] && echo "The window is closed and the simulated module stopped; scripts/run.sh starts both again."
  exit "$status"
fi

echo "No X display: showing the program on a virtual display for a few seconds."
shot=$PWD/$bin/zk405-first-window.png
# Under a window manager, so that the window shows with the caption and frame a desktop gives it.
# shellcheck disable=SC2016 # the inner script expands its own arguments
scripts/with-display.sh bash -c '
  source tests/support/xwindow.sh
  xwindow_manager >/dev/null
  "$1" & app=$!
  for _ in $(seq 100); do xdotool search --name "KALDOR ZK405" >/dev/null 2>&1 && break; sleep 0.1; done
  sleep 1
  import -window root "$2" 2>/dev/null || xwd -root | convert xwd:- "$2"
  kill $app ${XWINDOW_WM_PID:-} 2>/dev/null; wait $app 2>/dev/null || true
' run "$app" "$shot"
echo "The program started."
next_steps
[[ -n "$port" ]] || exit 0
if [[ -t 0 ]]; then
  echo "The simulated module runs until you press Enter."
  read -r _ || true
else
  echo "The simulated module stops now (no terminal to keep it for); scripts/run.sh starts it again."
fi
