#!/usr/bin/env bash
# Sets up everything, builds the tool and runs it.
#   scripts/run.sh            with a simulated ZK405 on a pseudo-terminal (no hardware needed)
#   scripts/run.sh --module   with a real module only: no simulator is started
# Without an X display the program is shown on a private virtual display for a few seconds and a
# screenshot of its first window is saved, so the set-up can be checked on a machine with no screen.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
# Only the program, the simulated module and the monitor: no tests or benchmarks to build first.
cmake --preset run >/dev/null
cmake --build --preset run
bin=build/run
app=$bin/app/zk405

# shellcheck source=../tests/support/harness.sh
source tests/support/harness.sh
harness_work zk405-run

if [[ "${1:-}" != "--module" ]]; then
  # As root the simulated port is linked where the port list looks, and the simulator says under
  # which name; otherwise its path is typed into the port field.
  link=$(harness_free_rfcomm) || link=/tmp/zk405-sim-$(id -u)
  harness_start_sim "$bin/tools/zk405-sim" --name "KALDOR ZK405" --link "$link" ||
    { cat "$WORK/sim.err" >&2; echo "the simulated module did not start" >&2; exit 1; }
  cat "$WORK/sim.err" >&2
  echo "Simulated ZK405 on $SIM_PTY, linked at $link."
  echo "In the port list pick or type: ${SIM_PORT:-$link}"
fi

if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  "$app"
  exit 0
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
echo "The program started; its first window is in $shot"
