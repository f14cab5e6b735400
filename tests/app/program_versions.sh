#!/usr/bin/env bash
# Every program answers --version with its name and the build's version and --help with a usage text
# that lists --version, exit status 0, without a display and before doing anything else. The manual
# pages of the packages are made from these two answers.
#
# Usage: program_versions.sh VERSION PROGRAM...
# With WINE set, the programs are Windows programs run through it; ZK405.EXE answers as zk405.
set -uo pipefail

VERSION=$1
shift
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

for program in "$@"; do
    name=$(basename "$program")
    name=${name%.exe}
    name=${name%.EXE}
    name=${name,,}
    run=("$program")
    [[ -n "${WINE:-}" ]] && run=("$WINE" "$program")
    # Windows' C runtime ends lines with CR LF.
    output=$(env -u DISPLAY "${run[@]}" --version 2>&1 </dev/null | tr -d '\r')
    status=${PIPESTATUS[0]}
    [[ $status == 0 ]] || fail "$name --version: exit status $status"
    [[ "$output" == "$name $VERSION" ]] || fail "$name --version printed \"$output\", not \"$name $VERSION\""
    help=$(env -u DISPLAY "${run[@]}" --help 2>&1 </dev/null | tr -d '\r')
    status=${PIPESTATUS[0]}
    [[ $status == 0 ]] || fail "$name --help: exit status $status"
    grep -q "^Usage: $name " <<<"$help" || fail "$name --help does not give its usage as \"Usage: $name ...\""
    grep -qE '^ +(-[A-Za-z], ?)?--version( |$)' <<<"$help" || fail "$name --help does not list --version"
    # A version that cannot be written is not a version printed.
    if [[ -z "${WINE:-}" && -w /dev/full ]]; then
        "$program" --version >/dev/full 2>/dev/null && fail "$name --version reports success writing to a full disk"
    fi
    echo "$name: $output"
done
exit $((failures > 0))
