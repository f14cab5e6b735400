#!/usr/bin/env bash
# Checks the Windows packages of a MinGW-w64 build with the windows as a user meets them, under Wine.
# The zip: the programs and README.txt with CRLF line ends. The installer: its version block; a silent
# install (/S) into Program Files\ZK405 with the same files, the Start menu shortcuts (ZK405.EXE's and
# zk405-station.exe's) with icon 128 and the uninstall entry with version and publisher; the installed
# programs' --version; the installed ZK405.EXE until its window shows (needs DISPLAY); a silent
# uninstall, after which nothing of it is left: files, shortcuts, registry entry.
#
# Usage: check-installer.sh BUILD_DIR
# The packages are BUILD_DIR/packages (scripts/windows/package-windows.sh). Wine's prefix is
# $ZK405_WINEPREFIX, else BUILD_DIR/wineprefix, the one test-windows.sh uses.
set -uo pipefail

BUILD=$(realpath "$1")
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
SCRIPTS=$(cd "$HERE/../../scripts/windows" && pwd)
# shellcheck source=../support/harness.sh
source "$HERE/../support/harness.sh"

VERSION=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$BUILD/CMakeCache.txt")
[[ -n "$VERSION" ]] || fail "$BUILD is not a configured build"
ZIP="$BUILD/packages/ZK405-$VERSION-win64.zip"
SETUP="$BUILD/packages/ZK405-$VERSION-setup.exe"
[[ -f "$ZIP" && -f "$SETUP" ]] || fail "no $(basename "$ZIP") and $(basename "$SETUP") (scripts/windows/package-windows.sh)"
[[ -n "${DISPLAY:-}" ]] || fail "the installed program's window needs DISPLAY (run under scripts/with-display.sh)"

harness_work zk405-check-installer
exit_steps() { zk405_wine_teardown 2>/dev/null; }

# The version block of a Windows program: the fixed part's file version, then the string table's
# ProductVersion and CompanyName, one a line.
version_block() {
    python3 - "$1" <<'PYTHON'
import struct, sys
data = open(sys.argv[1], "rb").read()
start = data.find("VS_VERSION_INFO".encode("utf-16-le"))
fixed = data.find(struct.pack("<I", 0xFEEF04BD), start)
if start < 0 or fixed < 0:
    sys.exit("no version block")
ms, ls = struct.unpack_from("<II", data, fixed + 8)
print("%d.%d.%d.%d" % (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF))
for key in ("ProductVersion", "CompanyName"):
    at = data.find(key.encode("utf-16-le") + b"\0\0", fixed)
    if at < 0:
        sys.exit("no " + key)
    at += 2 * len(key) + 2
    at += (4 - at % 4) % 4  # the value starts on a 32-bit boundary
    end = at
    while data[end:end + 2] != b"\0\0":
        end += 2
    print(data[at:end].decode("utf-16-le"))
PYTHON
}

# The zip.
SHIPPED=(ZK405.EXE zk405-cli.exe zk405-monitor.exe zk405-station.exe README.txt)
[[ "$(unzip -Z1 "$ZIP" | sort)" == "$(printf '%s\n' "${SHIPPED[@]}" | sort)" ]] ||
    fail "the zip holds $(unzip -Z1 "$ZIP" | tr '\n' ' '), not ${SHIPPED[*]}"
unzip -q "$ZIP" -d "$WORK/zip" || fail "the zip does not unpack"
{ [[ -s "$WORK/zip/README.txt" ]] && ! grep -q $'[^\r]$' "$WORK/zip/README.txt" && ! grep -q '^$' "$WORK/zip/README.txt"; } ||
    fail "README.txt's lines do not all end with CR LF"
grep -qF "$VERSION" "$WORK/zip/README.txt" || fail "README.txt does not give the version"
echo "zip: ${SHIPPED[*]}, README.txt with CR LF"

# The installer's and the program's version blocks.
mapfile -t block < <(version_block "$SETUP") || true
[[ "${block[0]:-}" == "$VERSION" && "${block[1]:-}" == "$VERSION" && -n "${block[2]:-}" ]] ||
    fail "the installer's version block says \"${block[*]}\", not version $VERSION with a publisher"
PUBLISHER=${block[2]}
# Per-machine: the installer's manifest makes Windows ask for elevation before it starts.
grep -qa 'level="requireAdministrator"' "$SETUP" || fail "the installer does not ask for elevation"
mapfile -t block < <(version_block "$WORK/zip/ZK405.EXE") || true
[[ "${block[0]:-}" == "$VERSION" && "${block[1]:-}" == "${VERSION//./, }" && "${block[2]:-}" == "$PUBLISHER" ]] ||
    fail "ZK405.EXE's version block says \"${block[*]}\""
echo "version blocks: installer $VERSION by $PUBLISHER, ZK405.EXE ${block[1]}"

# shellcheck source=../../scripts/windows/wine-env.sh
source "$SCRIPTS/wine-env.sh" "${ZK405_WINEPREFIX:-$BUILD/wineprefix}" || fail "no Wine"
DRIVE_C="$WINEPREFIX/drive_c"
INSTALLED="$DRIVE_C/Program Files/ZK405"
MENU="$DRIVE_C/ProgramData/Microsoft/Windows/Start Menu/Programs"
SHORTCUT="$MENU/KALDOR ZK405.lnk"
STATION_SHORTCUT="$MENU/KALDOR ZK405 Stanowisko.lnk"
KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\ZK405'
wine_run() { "$WINE" "$@" </dev/null 2>&1 | tr -d '\r'; return "${PIPESTATUS[0]}"; }
if [[ -e "$INSTALLED" || -e "$SHORTCUT" || -e "$STATION_SHORTCUT" ]] || wine_run reg query "$KEY" >/dev/null; then
    echo "an earlier run left ZK405 installed in $WINEPREFIX: removed first"
    rm -rf "$INSTALLED" "$SHORTCUT" "$STATION_SHORTCUT"
    wine_run reg delete "$KEY" /f >/dev/null
fi

echo "== $(basename "$SETUP") /S"
output=$(wine_run "$SETUP" /S) || fail "the silent install failed: $output"
for file in "${SHIPPED[@]}"; do
    cmp -s "$WORK/zip/$file" "$INSTALLED/$file" || fail "Program Files\\ZK405\\$file is not the shipped one"
done
[[ -f "$INSTALLED/Uninstall.exe" ]] || fail "no uninstaller in Program Files\\ZK405"
[[ "$(find "$INSTALLED" -mindepth 1 -maxdepth 1 | wc -l)" == $((${#SHIPPED[@]} + 1)) ]] ||
    fail "Program Files\\ZK405 holds $(find "$INSTALLED" -mindepth 1 -maxdepth 1 -printf '%f ')"

# The shortcuts: each window program, its icon by resource number 128 (written as index -128), started
# in the user's own folder.
check_shortcut() {
    local link=$1 program=$2
    [[ -f "$link" ]] || fail "no Start menu shortcut $(basename "$link"): $(find "$MENU" -name '*.lnk')"
    python3 - "$link" "$program" <<'PYTHON' || fail "the shortcut $(basename "$link") is not $program with icon 128"
import struct, sys
data = open(sys.argv[1], "rb").read()
flags, = struct.unpack_from("<I", data, 0x14)
icon_index, = struct.unpack_from("<i", data, 0x38)
text = data.decode("utf-16-le", "replace") + data[1:].decode("utf-16-le", "replace")
assert flags & 0x40, "no icon location"
assert icon_index == -128, "icon index %d" % icon_index
assert "ZK405\\" + sys.argv[2] in text, "target or icon file"
assert "%USERPROFILE%" in text, "working directory"
PYTHON
}
check_shortcut "$SHORTCUT" ZK405.EXE
check_shortcut "$STATION_SHORTCUT" zk405-station.exe

query=$(wine_run reg query "$KEY") || fail "no uninstall entry $KEY"
for value in "DisplayName REG_SZ KALDOR ZK405" "DisplayVersion REG_SZ $VERSION" "Publisher REG_SZ $PUBLISHER" \
    "UninstallString REG_SZ \"C:\\Program Files\\ZK405\\Uninstall.exe\""; do
    grep -qF -- "$value" <<<"$(tr -s ' \t' '  ' <<<"$query" | sed 's/^ //')" || fail "the uninstall entry lacks $value: $query"
done
echo "installed: ${SHIPPED[*]} and Uninstall.exe, both shortcuts with icon 128, the uninstall entry $VERSION by $PUBLISHER"

for file in "${SHIPPED[@]}"; do
    [[ "$file" == *.exe || "$file" == *.EXE ]] || continue
    name=${file%.*}
    name=${name,,}
    output=$(cd "$WORK" && wine_run "$INSTALLED/$file" --version) || fail "installed $file --version failed: $output"
    [[ "$output" == "$name $VERSION" ]] || fail "installed $file --version says \"$output\""
    echo "installed $file --version: $output"
done

"$SCRIPTS/smoke-program.sh" "$INSTALLED/ZK405.EXE" || fail "the installed ZK405.EXE did not show its window and end"

echo "== Uninstall.exe /S"
output=$(wine_run "$INSTALLED/Uninstall.exe" /S) || fail "the silent uninstall failed: $output"
# The uninstaller runs on from a copy of itself in the temporary folder; its end is seen in the files.
for _ in $(seq 300); do
    [[ -e "$INSTALLED" ]] || break
    sleep 0.1
done
left=()
[[ -e "$INSTALLED" ]] && left+=("Program Files\\ZK405: $(find "$INSTALLED" -mindepth 1 -maxdepth 1 -printf '%f ')")
[[ -e "$SHORTCUT" ]] && left+=("the shortcut")
[[ -e "$STATION_SHORTCUT" ]] && left+=("the station's shortcut")
wine_run reg query "$KEY" >/dev/null && left+=("the uninstall entry")
[[ ${#left[@]} == 0 ]] || fail "left after uninstalling: ${left[*]}"
echo "uninstalled: no files, shortcut or uninstall entry left"
