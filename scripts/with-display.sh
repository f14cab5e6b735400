#!/usr/bin/env bash
# Runs a command with an X display: the one in DISPLAY when there is one, else a private Xvfb that is
# stopped again when the command ends. Either way the windows can be read through the accessibility
# bus (tests/support/with-atspi.sh), as the window tests read them.
set -euo pipefail
atspi="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/tests/support/with-atspi.sh"
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  exec "$atspi" "$@"
fi
for n in $(seq 90 140); do
  [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
  # -noreset: a server that resets when its last client goes refuses the next test's first connection
  # while it does ("Failed to open the display", now and then).
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  export DISPLAY=":$n"
  "$atspi" "$@"
  exit $?
done
echo "no free X display number" >&2
exit 1
