#!/usr/bin/env bash
# Runs every test: the native build with warnings as errors, the same tests built with AddressSanitizer
# and UndefinedBehaviorSanitizer, each libFuzzer target for a short while, and, when the Windows stage
# is present, the MinGW-w64 build under Wine.
# Window tests run on the display in DISPLAY or on a private Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."

windows=1
[[ "${ZK405_SKIP_WINDOWS:-0}" == 1 || ! -x scripts/windows/test-windows.sh ]] && windows=0

if [[ $windows == 1 ]]; then scripts/install-deps.sh --windows; else scripts/install-deps.sh; fi

export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
run_stage() {
  local preset=$1
  echo "== $preset: configure and build"
  cmake --preset "$preset" >/dev/null
  cmake --build --preset "$preset"
  echo "== $preset: tests"
  scripts/with-display.sh ctest --preset "$preset" --timeout 300
}

run_stage release
run_stage asan
echo "== fuzz: each libFuzzer target for 20 s"
scripts/fuzz.sh 20
if [[ $windows == 1 ]]; then
  echo "== windows: MinGW-w64 build under Wine"
  scripts/windows/test-windows.sh --ui
fi
echo "== all test stages passed"
