#!/usr/bin/env bash
# Runs a command with an X display: the one in DISPLAY when there is one, else a private Xvfb that is
# stopped again when the command ends.
set -euo pipefail
if [[ -n "${DISPLAY:-}" ]] && xdpyinfo >/dev/null 2>&1; then
  exec "$@"
fi
for n in $(seq 90 140); do
  [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb=$!
  trap 'kill $xvfb 2>/dev/null || true' EXIT
  for _ in $(seq 50); do
    DISPLAY=":$n" xdpyinfo >/dev/null 2>&1 && break
    sleep 0.1
  done
  export DISPLAY=":$n"
  "$@"
  exit $?
done
echo "no free X display number" >&2
exit 1
