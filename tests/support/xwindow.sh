# shellcheck shell=bash
# Helpers for the scripts that drive the program's windows with xdotool (source it).
#
# Settings, read at each call:
#   XWINDOW_SEARCH  what xdotool searches visible windows by, "--class" (default) or "--name": Wine's
#                   windows are found by name, the toolkit's by class.
#   XWINDOW_WAIT    seconds wait_window and wait_gone wait (default 10).
#   ARTIFACTS       directory shot writes its PNG files into.
#   XWINDOW_FRAME   non-empty: shot takes the window manager's frame and caption too (set by
#                   xwindow_manager when a window manager runs).
# shot calls the sourcing script's own fail on an error.

# Exits 77 (skipped) unless DISPLAY names a display that answers and every tool given is installed.
xwindow_require() {
    [[ -n "${DISPLAY:-}" ]] || { echo "no display; skipped"; exit 77; }
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "$tool missing; skipped"; exit 77; }
    done
    xdpyinfo >/dev/null 2>&1 || { echo "display $DISPLAY does not answer; skipped"; exit 77; }
}

# Whether a window manager runs: the root window names its check window, and that window still exists
# (a manager that was killed leaves the name behind on the root window).
xwindow_manager_running() {
    local id
    id=$(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -o '0x[0-9a-fA-F]*') || return 1
    xprop -id "$id" >/dev/null 2>&1
}

# Starts openbox unless a window manager already runs on the display, so that the windows get the
# frame, the caption and the focus a user's desktop gives them; XWINDOW_WM_PID is then its process,
# for the caller to end. Without openbox installed the windows are left without a manager.
# shellcheck disable=SC2034 # XWINDOW_WM_PID is the caller's to end
xwindow_manager() {
    XWINDOW_WM_PID=""
    XWINDOW_FRAME=1
    xwindow_manager_running && return 0
    if ! command -v openbox >/dev/null; then
        echo "openbox missing: no window manager, no frames in screenshots"
        XWINDOW_FRAME=""
        return 0
    fi
    # --replace: the manager of the test before may still hold the screen's selection while it ends,
    # and a plain start then gives up at once.
    openbox --sm-disable --replace >/dev/null 2>&1 &
    XWINDOW_WM_PID=$!
    for _ in $(seq 100); do
        xwindow_manager_running && return 0
        sleep 0.1
    done
    echo "openbox did not start"
    return 1
}

# The visible windows as "id title" lines. Titles are read back as UTF-8: xdotool's own title search
# does not match a title the toolkit had to store as compound text (one with a "ź", say).
windows() {
    for id in $(xdotool search --onlyvisible "${XWINDOW_SEARCH:---class}" . 2>/dev/null); do
        echo "$id $(xdotool getwindowname "$id" 2>/dev/null)"
    done
}

# Waits for a visible window whose title matches (grep -E), other than the ones given; prints its id.
wait_window() {
    local pattern=$1
    shift
    for _ in $(seq $((${XWINDOW_WAIT:-10} * 10))); do
        while IFS= read -r line; do
            local id=${line%% *} title=${line#* } known=0
            for other in "$@"; do [[ "$id" == "$other" ]] && known=1; done
            if [[ $known == 0 ]] && grep -qE -- "$pattern" <<<"$title"; then
                echo "$id"
                return 0
            fi
        done < <(windows)
        sleep 0.1
    done
    return 1
}

# Waits until the window with this id is no longer shown.
wait_gone() {
    for _ in $(seq $((${XWINDOW_WAIT:-10} * 10))); do
        windows | grep -q "^$1 " || return 0
        sleep 0.1
    done
    return 1
}

# Waits up to ten seconds for a line with this text in the file; a process writes it, not a window.
wait_for_line() {
    local file=$1 text=$2
    for _ in $(seq 100); do
        grep -qF -- "$text" "$file" 2>/dev/null && return 0
        sleep 0.1
    done
    return 1
}

# Waits up to five seconds for the caller's child process PID to end and leaves its exit status in
# EXIT_STATUS; fails while it still runs.
# shellcheck disable=SC2034 # EXIT_STATUS is the caller's to read
wait_exit() {
    for _ in $(seq 50); do
        kill -0 "$1" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$1" 2>/dev/null && return 1
    wait "$1"
    EXIT_STATUS=$?
}

# A screenshot of one window as ARTIFACTS/NAME.png, once it has been drawn.
shot() {
    sleep 0.3
    local frame=()
    [[ -n "${XWINDOW_FRAME:-}" ]] && frame=(-frame)
    timeout 10 import "${frame[@]}" -window "$1" "$ARTIFACTS/$2.png" || fail "no screenshot of $2"
}

# Clicks (button, default 1) at x,y in dialog units of a window whose template is width x height
# dialog units: the point is found from the window's size in pixels, so the clicks follow whatever
# font the toolkit substituted.
click_du() {
    local window=$1 x=$2 y=$3 width=$4 height=$5 button=${6:-1}
    eval "$(xdotool getwindowgeometry --shell "$window")"
    # shellcheck disable=SC2153 # WIDTH and HEIGHT come from xdotool's --shell output
    xdotool mousemove --window "$window" $((x * WIDTH / width)) $((y * HEIGHT / height)) click "$button"
    sleep 0.2
}

# Shoots window $1 for the README into $ROOT/docs/$2.png: at 1270×720 in the screen's corner, wide enough for
# every column as a bench screen shows them, then scaled down to the README's width. The shot at full
# size stays in $WORK.
xwindow_shoot_for_readme() {
    local window=$1 name=$2
    xdotool windowsize --sync "$window" 1270 720 || true
    xdotool windowmove --sync "$window" 0 0 || true
    sleep 1
    timeout 10 import -window "$window" "$WORK/$name.png" || return 1
    convert "$WORK/$name.png" +repage -resize 800x -strip -colors 128 "$ROOT/docs/$name.png" || return 1
    echo "docs/$name.png"
}
