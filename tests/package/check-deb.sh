#!/usr/bin/env bash
# Checks the Debian package as a user meets it. Its contents first: every program in /usr/bin with a
# manual page, the desktop entry, the icons, the documents, Depends worked out from the libraries;
# the manual pages as man shows them (check-manpages.sh).
# Then, as root on a machine with apt: installs it with apt-get, runs every installed program's
# --version, reads a module's name with the installed zk405-cli from the installed zk405-sim, starts
# the installed zk405 until its window shows (needs DISPLAY), purges the package and checks that
# none of its files is left.
#
# Usage: check-deb.sh PATH/TO/zk405_VERSION_ARCH.deb
set -uo pipefail

DEB=$(realpath "$1")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=../support/xwindow.sh
source "$HERE/../support/xwindow.sh"
# shellcheck source=../support/harness.sh
source "$HERE/../support/harness.sh"

harness_work zk405-check-deb
APP_PID=""
INSTALLED_HERE=0
exit_steps() {
    harness_kill "$APP_PID"
    wait 2>/dev/null
    # A failed check does not leave the package on the machine.
    [[ $INSTALLED_HERE == 1 ]] && apt-get purge -y -qq zk405 >/dev/null 2>&1
}

VERSION=$(dpkg-deb -f "$DEB" Version) || fail "not a Debian package: $DEB"
ARCH=$(dpkg-deb -f "$DEB" Architecture)
[[ "$(basename "$DEB")" == "zk405_${VERSION}_${ARCH}.deb" ]] || fail "file name $(basename "$DEB") for version $VERSION"
DEPENDS=$(dpkg-deb -f "$DEB" Depends)
{ grep -q 'libwxgtk3' <<<"$DEPENDS" && grep -q 'libc6' <<<"$DEPENDS"; } ||
    fail "Depends does not name the programs' libraries: $DEPENDS"

# Contents, as paths without the leading dot.
dpkg-deb --fsys-tarfile "$DEB" | tar -t | sed 's|^\./|/|; s|/$||' | sort >"$WORK/contents"
has() { grep -qxF -- "$1" "$WORK/contents" || fail "the package lacks $1"; }
PROGRAMS=(zk405 zk405-sim zk405-monitor zk405-cli zk405-station)
for program in "${PROGRAMS[@]}"; do
    has "/usr/bin/$program"
    has "/usr/share/man/man1/$program.1.gz"
done
# Nothing else in /usr/bin, and no manual page for a program not there.
[[ $(grep -c '^/usr/bin/.' "$WORK/contents") == "${#PROGRAMS[@]}" ]] || fail "unexpected programs: $(grep '^/usr/bin/.' "$WORK/contents")"
[[ $(grep -c '^/usr/share/man/man1/.' "$WORK/contents") == "${#PROGRAMS[@]}" ]] || fail "unexpected manual pages"
for path in /usr/share/applications/zk405.desktop /usr/share/applications/zk405-station.desktop \
    /usr/share/icons/hicolor/16x16/apps/zk405.png \
    /usr/share/icons/hicolor/32x32/apps/zk405.png /usr/share/doc/zk405/README.md \
    /usr/share/doc/zk405/copyright /usr/share/doc/zk405/changelog.gz; do
    has "$path"
done
grep -vE '^/usr(/bin(/.*)?|/share(/(applications|doc|icons|man)(/.*)?)?)?$|^/?$' "$WORK/contents" >"$WORK/stray" &&
    fail "files outside the expected places: $(cat "$WORK/stray")"
echo "contents: ${PROGRAMS[*]} with manual pages, desktop entry, icons, documents; Depends: $DEPENDS"

# The packaged manual pages as man shows them.
dpkg-deb -x "$DEB" "$WORK/root" || fail "cannot unpack $DEB"
pages=()
for program in "${PROGRAMS[@]}"; do pages+=("$WORK/root/usr/share/man/man1/$program.1.gz"); done
"$HERE/check-manpages.sh" "$HERE/../../provisioning/ExitStatus.h" "${pages[@]}" >"$WORK/manpages.log" 2>&1
case $? in
    0) echo "manual pages: $(grep -c 'no warnings$' "$WORK/manpages.log") read as man shows them, no warnings" ;;
    77) fail "the manual pages cannot be checked: $(cat "$WORK/manpages.log") (scripts/install-deps.sh)" ;;
    *) fail "the manual pages: $(cat "$WORK/manpages.log")" ;;
esac

if [[ $(id -u) != 0 ]] || ! command -v apt-get >/dev/null; then
    echo "installing with apt-get needs root: the install, run and purge checks are skipped"
    exit 0
fi
[[ -n "${DISPLAY:-}" ]] || fail "the installed program's window needs DISPLAY (run under scripts/with-display.sh)"

echo "== apt-get install $(basename "$DEB")"
export DEBIAN_FRONTEND=noninteractive
INSTALLED_HERE=1
apt-get install -y -qq "$DEB" >"$WORK/apt.log" 2>&1 || fail "apt-get install failed: $(cat "$WORK/apt.log")"
[[ "$(dpkg-query -W -f='${Status} ${Version}' zk405)" == "install ok installed $VERSION" ]] ||
    fail "zk405 $VERSION is not installed"
dpkg-query -L zk405 | sort >"$WORK/installed"
while IFS= read -r path; do
    [[ -d "$path" && ! -L "$path" ]] && echo "$path"
done <"$WORK/installed" >"$WORK/installed-directories"

for program in "${PROGRAMS[@]}"; do
    [[ "$(command -v "$program")" == "/usr/bin/$program" ]] || fail "$program is not found in PATH as /usr/bin/$program"
    output=$(env -u DISPLAY "$program" --version 2>&1) || fail "$program --version failed: $output"
    [[ "$output" == "$program $VERSION" ]] || fail "$program --version says \"$output\", not \"$program $VERSION\""
done
echo "installed: ${PROGRAMS[*]} --version print $VERSION"

NAME="Pakowanie 405"
harness_start_sim zk405-sim --name "$NAME" || fail "the installed zk405-sim did not start: $(cat "$WORK/sim.err")"
PORT=$SIM_PTY
output=$(timeout 60 zk405-cli name "$PORT" 2>&1) || fail "zk405-cli name $PORT failed: $output"
grep -qF -- "$NAME" <<<"$output" || fail "zk405-cli name $PORT said \"$output\", not the module's name \"$NAME\""
echo "installed zk405-cli read \"$NAME\" from the installed zk405-sim on $PORT"

# The window program as started from the desktop entry: its Exec line, from a directory of its own
# (it writes TxRx.log where it runs).
EXEC=$(sed -n 's/^Exec=//p' /usr/share/applications/zk405.desktop)
(cd "$WORK" && exec $EXEC >"$WORK/app.out" 2>&1) &
APP_PID=$!
WINDOW=$(wait_window '^KALDOR ZK405 - Program konfiguracyjny\.$') ||
    fail "the installed zk405 showed no window: $(cat "$WORK/app.out")"
echo "installed zk405 shows its window: $(xdotool getwindowname "$WINDOW")"
# Escape is the window's "Zakończ".
xdotool windowfocus --sync "$WINDOW" 2>/dev/null
xdotool key --window "$WINDOW" Escape
wait_exit "$APP_PID" || fail "the installed zk405 did not end on Escape"
APP_PID=""
[[ $EXIT_STATUS == 0 ]] || fail "the installed zk405 ended with status $EXIT_STATUS: $(cat "$WORK/app.out")"

echo "== apt-get purge zk405"
apt-get purge -y -qq zk405 >"$WORK/apt.log" 2>&1 || fail "apt-get purge failed: $(cat "$WORK/apt.log")"
INSTALLED_HERE=0
dpkg-query -W -f='${Status}' zk405 2>/dev/null | grep -q installed && fail "zk405 is still installed"
left=()
while IFS= read -r path; do
    if grep -qxF -- "$path" "$WORK/installed-directories"; then
        # A directory may stay only while something else still has files in it.
        [[ -d "$path" && -z "$(ls -A "$path")" ]] && left+=("$path (empty directory)")
    elif [[ -e "$path" || -L "$path" ]]; then
        left+=("$path")
    fi
done <"$WORK/installed"
[[ ${#left[@]} == 0 ]] || fail "left after purge: ${left[*]}"
[[ -e /usr/share/doc/zk405 ]] && fail "/usr/share/doc/zk405 is left after purge"
echo "purged: none of the package's $(wc -l <"$WORK/installed") paths is left"
