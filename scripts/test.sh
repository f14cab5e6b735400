#!/usr/bin/env bash
# Runs every test: shellcheck over every shell script, the native build with warnings as errors, its
# Debian package (made, checked with lintian and, as root, installed, run and purged), the same tests
# built with AddressSanitizer and UndefinedBehaviorSanitizer, each libFuzzer target for a short while,
# and, when the Windows stage is present, the MinGW-w64 build under Wine with its zip and installer
# (installed, run and uninstalled under Wine).
# Window tests run on the display in DISPLAY or on a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

windows=1
[[ "${ZK405_SKIP_WINDOWS:-0}" == 1 || ! -x scripts/windows/test-windows.sh ]] && windows=0

if [[ $windows == 1 ]]; then scripts/install-deps.sh --windows; else scripts/install-deps.sh; fi

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
# Each stage's heading carries the time of day, so a slow stage shows in CI's log.
say() { echo "== $* ($(date +%H:%M:%S))"; }
run_stage() {
  local preset=$1
  say "$preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  say "$preset: tests"
  scripts/with-display.sh ctest --preset "$preset" --timeout 300
}

say "shellcheck: every shell script"
scripts/check-scripts.sh

# The static wxMSW takes minutes to build when it is not cached. It builds at the lowest priority
# while the native stages run, on what their waits and single-threaded steps leave free; its download
# (apt) is done first, before the package stage uses apt itself.
wxmsw_pid=""
wxmsw_log=build/wxmsw-build.log
if [[ $windows == 1 ]] && ! scripts/windows/build-wxmsw.sh --print-prefix >/dev/null 2>&1; then
  say "windows: wxMSW sources; the build goes on in the background (log: $wxmsw_log)"
  scripts/windows/build-wxmsw.sh --fetch-only
  mkdir -p build
  # Its own session, so that a failing stage can stop all of it. A kernel that schedules by session
  # (Debian's: autogroup) shares the cores equally between sessions whatever their nice values, so the
  # new session's group is put at the lowest priority too; without that the build took half the cores.
  setsid bash -c 'echo 19 >/proc/self/autogroup 2>/dev/null; exec nice -n 19 "$@"' wxmsw \
    scripts/windows/build-wxmsw.sh >"$wxmsw_log" 2>&1 &
  wxmsw_pid=$!
  # A failing stage must not leave it running.
  trap '[[ -n "$wxmsw_pid" ]] && kill -- "-$wxmsw_pid" 2>/dev/null; true' EXIT
fi

run_stage release
say "Debian package of the release build"
deb=$(scripts/package.sh build/release | tail -n1)
scripts/with-display.sh tests/package/check-deb.sh "$deb"
run_stage asan
say "fuzz: each libFuzzer target for 20 s"
scripts/fuzz.sh 20
if [[ $windows == 1 ]]; then
  if [[ -n "$wxmsw_pid" ]]; then
    say "windows: waiting for the wxMSW build"
    status=0
    wait "$wxmsw_pid" || status=$?
    wxmsw_pid=""
    if [[ $status != 0 ]]; then
      tail -n 40 "$wxmsw_log"
      echo "the wxMSW build failed (exit $status; log: $wxmsw_log)" >&2
      exit 1
    fi
    tail -n 2 "$wxmsw_log"
  fi
  say "windows: MinGW-w64 build under Wine"
  # The far end of the COM port tests is the release build's simulator.
  scripts/windows/test-windows.sh --ui --host-sim build/release/tools/zk405-sim
  say "windows: zip and installer"
  scripts/windows/package-windows.sh --build-dir build/mingw
  scripts/with-display.sh tests/windows/check-installer.sh build/mingw
fi
say "all test stages passed"
