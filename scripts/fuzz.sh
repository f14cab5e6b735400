#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (the fuzz preset) and runs each for SECONDS (default 300),
# starting from its seeds in fuzz/corpus/<target>; what it finds new is kept in build/fuzz/corpus.
# Prints each target's executions and coverage; a crash leaves its input in build/fuzz/ and fails.
#   scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${1:-300}
[[ "$seconds" =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

status=0
for target in fuzz_name_query fuzz_hex_dump fuzz_cp1250; do
    work=build/fuzz/corpus/$target
    log=build/fuzz/$target.log
    mkdir -p "$work"
    if ! build/fuzz/fuzz/$target -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="build/fuzz/$target-" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        echo "== $target FAILED (log: $log)"
        tail -n 40 "$log"
        status=1
        continue
    fi
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    last=$(grep -E '^#[0-9]+' "$log" | tail -n 1)
    cov=$(sed -n 's/.* cov: \([0-9]*\).*/\1/p' <<<"$last")
    ft=$(sed -n 's/.* ft: \([0-9]*\).*/\1/p' <<<"$last")
    corp=$(sed -n 's/.* corp: \([0-9]*\).*/\1/p' <<<"$last")
    echo "== $target: $runs executions in ${seconds} s, coverage $cov edges ($ft features), corpus $corp inputs"
done
exit $status
