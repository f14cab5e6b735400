#!/usr/bin/env bash
# Runs shellcheck over every shell script in the repository: the *.sh files git knows and every other
# file of it whose first line starts a shell (.ci/run, say), so a script added later is checked too.
# Settings: .shellcheckrc at the top. Prints the number of scripts checked; fails on any finding.
set -euo pipefail
cd "$(dirname "$0")/.."

command -v shellcheck >/dev/null || { echo "check-scripts.sh: no shellcheck (scripts/install-deps.sh)" >&2; exit 2; }
git rev-parse --is-inside-work-tree >/dev/null 2>&1 ||
    { echo "check-scripts.sh: not a git checkout: cannot tell which files are the project's" >&2; exit 2; }

scripts=()
while IFS= read -r -d '' file; do
    [[ -f "$file" ]] || continue # deleted in the work tree, not yet in the index
    if [[ "$file" == *.sh ]] || head -n1 "$file" | grep -qE '^#!.*[/ ](ba|da|k)?sh([[:space:]]|$)'; then
        scripts+=("$file")
    fi
done < <(git ls-files -z)
[[ ${#scripts[@]} -gt 0 ]] || { echo "check-scripts.sh: found no shell scripts" >&2; exit 1; }

shellcheck "${scripts[@]}"
echo "shellcheck: ${#scripts[@]} scripts, no findings"
