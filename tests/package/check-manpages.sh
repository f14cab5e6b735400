#!/usr/bin/env bash
# Checks the manual pages as man shows them at 80 columns. Each page: groff finds nothing to warn of,
# no line shows a stray request or escape (help text that began with a dot or an apostrophe), no two
# commands run together on one line (examples are kept as lines of their own), no line is wider than
# the page (a preformatted line is not wrapped), and SEE ALSO names every other page and
# zk405-station(1). zk405-cli's page besides: the sections a user looks for, and the exit statuses
# once, in EXIT STATUS, exactly the ones provisioning/ExitStatus.h defines.
#
# Usage: check-manpages.sh EXIT_STATUS_H PAGE...     pages as .1 or .1.gz files
# Exits 77 (skipped) when groff or man is missing.
set -uo pipefail

STATUS_HEADER=$1
shift
for tool in groff man col; do
    command -v "$tool" >/dev/null || { echo "$tool missing; skipped"; exit 77; }
done
failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}

# The page's name as SEE ALSO gives it: zk405-cli.1.gz is zk405-cli(1).
page_name() {
    local base
    base=$(basename "$1")
    base=${base%.gz}
    echo "${base%.1}(1)"
}

# The lines of one section of the rendered page, its heading left out.
section() {
    awk -v want="$2" '/^[A-Z]/ { inside = ($0 == want); next } inside' <<<"$1"
}

names=()
for page in "$@"; do names+=("$(page_name "$page")"); done

for page in "$@"; do
    name=$(page_name "$page")
    before=$failures
    # As man and lintian read a page: UTF-8 (preconv), for a terminal.
    warnings=$(zcat -f "$page" | groff -k -Tutf8 -man -ww -z 2>&1)
    [[ -z "$warnings" ]] || fail "$name: groff warns: $warnings"
    # help2man starts an untagged .IP where a line that goes on an option or a status is indented
    # differently from its first: the text is then broken off its tag.
    broken=$(zcat -f "$page" | awk '/^\.TP/ { tagged = 1; next } /^\.(PP|SH|SS|HP)/ { tagged = 0 }
        tagged && /^\.IP *$/ { print NR }')
    [[ -z "$broken" ]] || fail "$name: a paragraph broken off its tag at line $broken of the page"
    text=$(LC_ALL=C.UTF-8 MANWIDTH=80 man -l "$page" 2>&1 | col -bx)
    [[ -n "$text" ]] || { fail "$name: man shows nothing"; continue; }
    stray=$(grep -nE "^[[:space:]]*[.'][A-Za-z]{1,2}( |\$)|\\\\(f|-|e|\\(|\\[)" <<<"$text")
    [[ -z "$stray" ]] || fail "$name: a request or escape shows as text: $stray"
    # A command line, then a second command after it: two example lines joined into one.
    joined=$(grep -nE '^[[:space:]]*(\$ )?zk405[-a-z]* .* (\$ )?zk405(-[a-z]+)? ' <<<"$text")
    [[ -z "$joined" ]] || fail "$name: lines run together: $joined"
    wide=$(LC_ALL=C.UTF-8 grep -nE '^.{81}' <<<"$text")
    [[ -z "$wide" ]] || fail "$name: lines wider than 80 columns: $wide"
    see_also=$(section "$text" "SEE ALSO" | tr '\n' ' ')
    for other in "${names[@]}" "zk405-station(1)"; do
        [[ $other == "$name" ]] && continue
        grep -qF -- "$other" <<<"$see_also" || fail "$name: SEE ALSO does not name $other"
    done
    [[ $failures == "$before" ]] && echo "$name: $(wc -l <<<"$text") lines at 80 columns, no warnings"

    [[ $name == "zk405-cli(1)" ]] || continue
    for heading in "EXIT STATUS" "PRESET FILE" "LEDGER" "ENVIRONMENT" "FILES" "EXAMPLES"; do
        grep -qxF "$heading" <<<"$text" || fail "$name: no section $heading"
    done
    environment=$(section "$text" "ENVIRONMENT")
    for variable in NO_COLOR DBUS_SYSTEM_BUS_ADDRESS; do
        grep -qw "$variable" <<<"$environment" || fail "$name: ENVIRONMENT does not tell of $variable"
    done
    headings=$(grep -ciE '^[[:space:]]*exit status:?$' <<<"$text")
    [[ $headings == 1 ]] || fail "$name: the exit statuses are headed $headings times, not once"
    # The statuses the core defines, each a tag of the section: 0 to 7 and 128+N for the base.
    expected=$(sed -nE 's/^ *kExit[A-Za-z]* *= *([0-9]+),.*/\1/p' "$STATUS_HEADER" | sed 's/^128$/128+N/')
    [[ -n "$expected" ]] || fail "no exit statuses read from $STATUS_HEADER"
    listed=$(section "$text" "EXIT STATUS" | sed -nE 's/^ {7}([0-9]+(\+N)?)( .*)?$/\1/p')
    [[ "$listed" == "$expected" ]] ||
        fail "$name: EXIT STATUS lists $(tr '\n' ' ' <<<"$listed")but ExitStatus.h defines $(tr '\n' ' ' <<<"$expected")"
    outside=$(grep -v -xF -f <(section "$text" "EXIT STATUS") <<<"$text" | grep -cE '^ {7}128\+N')
    [[ $outside == 0 ]] || fail "$name: statuses listed outside EXIT STATUS too"
    echo "$name: exit statuses $(tr '\n' ' ' <<<"$listed")once, as ExitStatus.h defines them"
done
exit $((failures > 0))
