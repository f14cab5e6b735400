# shellcheck shell=bash
# Wine for running the Windows builds' tests and windows. Source it:
#
#   source scripts/windows/wine-env.sh [PREFIX]     # sets up and starts Wine (pass "" rather than
#                                                   # nothing from a script with arguments)
#   zk405_wine_link_com 42 /dev/pts/5               # COM42 in Windows is now that pseudo-terminal
#   ctest ...
#   zk405_wine_teardown                             # stops the Wine server
#
# PREFIX (or $ZK405_WINEPREFIX) is the Wine prefix, private to this project: default
# $HOME/.cache/zk405/wine. It is created on first use and kept, so later runs start in a second.
# With ZK405_WINE_FUNCTIONS_ONLY=1 only the functions are defined and nothing is started.
#
# Exports WINEPREFIX, WINEDEBUG, WINE (the loader) and WINESERVER, and LC_ALL (with LOCPATH when the
# locale had to be made) for a Polish Windows: see zk405_wine_locale. ZK405.EXE runs in a virtual
# desktop: see zk405_wine_desktop.

# Prints the first candidate that is an executable file.
zk405_first_executable() {
    local candidate
    for candidate in "$@"; do
        if [[ -n "$candidate" && -x "$candidate" ]]; then
            echo "$candidate"
            return 0
        fi
    done
    return 1
}

# Debian's wine64 package puts the loader outside PATH.
zk405_wine_find() {
    zk405_first_executable "${WINE:-}" /usr/lib/wine/wine64 "$(command -v wine64 2>/dev/null)" \
        "$(command -v wine 2>/dev/null)"
}

zk405_wineserver_find() {
    zk405_first_executable "${WINESERVER:-}" "$(dirname "$WINE")/wineserver64" "$(dirname "$WINE")/wineserver" \
        "$(command -v wineserver 2>/dev/null)"
}

zk405_wine_environment() {
    export WINEPREFIX="${1:-${ZK405_WINEPREFIX:-${WINEPREFIX:-$HOME/.cache/zk405/wine}}}"
    export WINEDEBUG="${WINEDEBUG:--all}"
    # No "install Mono/Gecko?" questions and no menu entries on the build machine.
    export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml,winemenubuilder.exe=}"
    WINE=$(zk405_wine_find) || {
        echo "wine-env: no Wine found (install wine64)" >&2
        return 1
    }
    export WINE
    WINESERVER=$(zk405_wineserver_find) || {
        echo "wine-env: no wineserver next to $WINE" >&2
        return 1
    }
    export WINESERVER
}

# Debian's Wine does not look at fonts-wine's directory; Windows programs only find fonts in the
# prefix's own Fonts folder.
zk405_wine_copy_fonts() {
    local fonts="$WINEPREFIX/drive_c/windows/Fonts" dir
    mkdir -p "$fonts"
    for dir in /usr/share/wine/fonts /usr/share/fonts/truetype/wine; do
        [[ -d "$dir" ]] || continue
        find "$dir" -maxdepth 1 -type f \( -name '*.ttf' -o -name '*.fon' -o -name '*.ttc' \) \
            -exec cp -n -t "$fonts" {} +
    done
}

# The users' Windows is Polish: ANSI code page 1250, under which "MS Sans Serif" is the Central European
# bitmap font and the program's texts show with their Polish letters. Wine takes the code page from the
# Unix locale, so the locale is set for what runs from here on; one not installed on this machine is
# compiled into the prefix (LOCPATH). ZK405_WINE_LOCALE="" keeps the caller's locale.
zk405_wine_locale() {
    local wanted="${ZK405_WINE_LOCALE-pl_PL.UTF-8}"
    [[ -n "$wanted" ]] || return 0
    if ! locale -a 2>/dev/null | grep -qix "${wanted/UTF-8/utf8}"; then
        local directory="$WINEPREFIX/zk405-locale"
        if [[ ! -d "$directory/$wanted" ]]; then
            mkdir -p "$directory"
            localedef -i "${wanted%%.*}" -f "${wanted#*.}" "$directory/$wanted" 2>/dev/null || {
                echo "wine-env: cannot make the locale $wanted; Polish letters may not show" >&2
                return 0
            }
        fi
        export LOCPATH="$directory"
    fi
    # Bash itself cannot use a locale from LOCPATH and says so; the programs it starts can.
    { export LC_ALL="$wanted"; } 2>/dev/null
}

# ZK405.EXE runs in a virtual desktop of 1024 x 768, as "explorer /desktop=ZK,1024x768 ZK405.EXE"
# would run it: without a window manager on the X display, only there does Wine draw the windows'
# frames, captions and system menus itself. Made the program's default rather than started through
# explorer, so that the loader still returns the program's exit status.
zk405_wine_desktop() {
    "$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v ZK /d 1024x768 /f </dev/null >/dev/null 2>&1 &&
        "$WINE" reg add 'HKCU\Software\Wine\AppDefaults\ZK405.exe\Explorer' /v Desktop /d ZK /f \
            </dev/null >/dev/null 2>&1
}

# The virtual desktop stays for about a second after its last program has ended; a program started
# meanwhile joins it and loses its windows when it goes. Waits (up to ten seconds) for it to go.
zk405_wine_wait_desktop_gone() {
    command -v xdotool >/dev/null || return 0
    local _
    for _ in $(seq 100); do
        xdotool search --name '^ZK - Wine desktop$' >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    echo "wine-env: Wine's virtual desktop is still there" >&2
    return 1
}

zk405_wine_setup() {
    zk405_wine_environment "$@" || return 1
    mkdir -p "$WINEPREFIX"
    zk405_wine_locale
    if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
        echo "wine-env: creating the Wine prefix $WINEPREFIX" >&2
        "$WINE" wineboot --init >/dev/null 2>&1 || {
            echo "wine-env: wineboot failed" >&2
            return 1
        }
        "$WINESERVER" -w
    fi
    zk405_wine_copy_fonts
    # One server for the whole run instead of one per program, and a first program that the server's
    # start-up is charged to: otherwise the first test inherits the server's pipe and never ends.
    # A server left running for this prefix (by a manual session, say) keeps serving: -p then fails.
    "$WINESERVER" -p 2>/dev/null || true
    "$WINE" cmd /c exit 0 </dev/null >/dev/null 2>&1
    zk405_wine_desktop || echo "wine-env: could not set up the virtual desktop" >&2
    return 0
}

# zk405_wine_link_com N PATH: Windows' COMN becomes the serial device (or pseudo-terminal) PATH.
zk405_wine_link_com() {
    local number="$1" device="$2"
    [[ -n "$number" && -n "$device" ]] || {
        echo "usage: zk405_wine_link_com N DEVICE" >&2
        return 2
    }
    mkdir -p "$WINEPREFIX/dosdevices"
    ln -sfn "$device" "$WINEPREFIX/dosdevices/com$number"
}

zk405_wine_unlink_com() {
    rm -f "$WINEPREFIX/dosdevices/com$1"
}

zk405_wine_teardown() {
    [[ -n "${WINESERVER:-}" ]] && "$WINESERVER" -k 2>/dev/null
    return 0
}

if [[ "${ZK405_WINE_FUNCTIONS_ONLY:-0}" == 1 ]]; then
    zk405_wine_environment "$@"
else
    zk405_wine_setup "$@"
fi
