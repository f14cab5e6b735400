#!/usr/bin/env bash
# Builds a static wxMSW (wxWidgets for Windows) with the MinGW-w64 cross compiler from Debian's own
# wxWidgets 3.2 source package and caches the installed result outside the source tree, keyed by the
# wxWidgets version and a hash of the configure flags. A later run with the same flags reuses the cache.
#
# Usage: scripts/windows/build-wxmsw.sh [--print-prefix | --fetch-only] [--jobs N]
#   --print-prefix  only print the cached wx-config if the cache is complete (exit 1 otherwise), build
#                   nothing
#   --fetch-only    only download the sources into the cache (what needs apt), build nothing: a build
#                   started afterwards in the background then leaves apt alone
# Fetching the sources uses apt (root).
# Output: the last line on stdout is the path of the cached wx-config.
# Environment: ZK405_CACHE_DIR overrides the cache root (default /var/cache/zk405, falling back to
#              $HOME/.cache/zk405 when /var/cache is not writable).
set -euo pipefail

HOST=x86_64-w64-mingw32
SOURCE_PACKAGE=wxwidgets3.2
JOBS=$(nproc)
PRINT_ONLY=0
FETCH_ONLY=0
while [[ $# -gt 0 ]]; do
    case "$1" in
    --print-prefix) PRINT_ONLY=1 ;;
    --fetch-only) FETCH_ONLY=1 ;;
    --jobs) JOBS="$2"; shift ;;
    *) echo "build-wxmsw.sh: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

log() { echo "[build-wxmsw] $*" >&2; }

cache_root() {
    if [[ -n "${ZK405_CACHE_DIR:-}" ]]; then
        echo "$ZK405_CACHE_DIR"
    elif mkdir -p /var/cache/zk405 2>/dev/null && [[ -w /var/cache/zk405 ]]; then
        echo /var/cache/zk405
    else
        echo "${XDG_CACHE_HOME:-$HOME/.cache}/zk405"
    fi
}

# The windows need dialogs, static texts and pictures, buttons, check and radio buttons, text and combo
# boxes (a combo box is a choice control on MSW), message boxes, menus, the busy cursor, the font list
# and ICO pictures; the tests drive them with wxUIActionSimulator. The station window adds the data
# view (a list a screen reader can read, with the header control it draws its columns with, whose
# clicks the list control's code decodes, and that code needs tool tips), the file dialog and the
# accessibility interfaces. Nothing else is built: no list boxes, no radio or static boxes, static
# lines, carets, log windows, text, font or about dialogs, busy-info windows, the standard art, command
# line parsing, MIME types or archive streams, and only the base and core libraries (see make below).
# regkey, wxdib, treectrl, OLE (with variant and any) and clipboard are pulled in by the MSW port
# itself and do not build without them.
CONFIGURE_FLAGS=(
    "--host=$HOST" --build="$(gcc -dumpmachine)"
    --with-msw --disable-shared --enable-unicode
    --with-zlib=sys --without-libpng --without-libjpeg --without-libtiff --without-expat
    --without-liblzma --without-libcurl --without-regex --without-opengl --without-nanosvg
    --disable-svg --disable-xrc --disable-webview --disable-mediactrl --disable-stc --disable-richtext
    --disable-html --disable-aui --disable-propgrid --disable-ribbon --disable-sound
    --disable-debug_info --disable-tests --disable-sys-libs
    --disable-all-features
    --enable-intl --enable-xlocale --enable-stdpaths --enable-file --enable-ffile --enable-textbuf
    --enable-textfile --enable-streams --enable-longlong --enable-datetime --enable-stopwatch
    --enable-timer --enable-log --enable-fontmap --enable-dynlib --enable-dynamicloader
    --enable-filesystem
    --enable-regkey --enable-wxdib --enable-treectrl --enable-uiactionsim --enable-image
    --enable-ico_cur --enable-xpm --enable-palette --enable-dccache --enable-display
    --enable-controls --enable-button --enable-bmpbutton --enable-checkbox --enable-radiobtn
    --enable-stattext --enable-statbmp --enable-textctrl --enable-combobox --enable-choice
    --enable-menus --enable-menubar --enable-accel --enable-validators --enable-msgdlg
    --enable-popupwin --enable-imaglist --enable-dataobj --enable-clipboard --enable-fontenum
    --enable-sysoptions --enable-ole --enable-variant --enable-any
    --enable-uxtheme --enable-mousewheel --enable-geometry --enable-base64
    --enable-dataviewctrl --enable-headerctrl --enable-listctrl --enable-filedlg --enable-accessibility
    --disable-listbox --disable-radiobox --disable-statbox --disable-statline --enable-tooltips
    --disable-caret --disable-logwin --disable-loggui --disable-textdlg --disable-fontdlg
    --disable-aboutdlg --disable-busyinfo --disable-artstd --disable-cmdline --disable-mimetype
    --disable-arcstream --disable-zipstream --disable-fs_zip --disable-fs_inet
)
FLAGS_HASH=$(printf '%s\n' "${CONFIGURE_FLAGS[@]}" | sha256sum | cut -c1-12)

ROOT=$(cache_root)
WORK="$ROOT/src"
mkdir -p "$WORK"

source_version() {
    # The version of the source package apt would fetch is the one of the installed wxGTK packages, so
    # the native and the Windows builds share one wxWidgets.
    apt-cache show --no-all-versions "libwxbase3.2-1" 2>/dev/null | sed -n 's/^Version: //p' | head -n1
}
DEB_VERSION=$(source_version)
[[ -n "$DEB_VERSION" ]] || { log "cannot tell the wxWidgets 3.2 version (apt-cache)"; exit 1; }
UPSTREAM_VERSION=${DEB_VERSION%%+*}
UPSTREAM_VERSION=${UPSTREAM_VERSION%%-*}
PREFIX="$ROOT/wxmsw-$UPSTREAM_VERSION-$FLAGS_HASH"
WX_CONFIG="$PREFIX/bin/wx-config"

if [[ -f "$PREFIX/.complete" && -x "$WX_CONFIG" ]]; then
    log "using cached wxMSW in $PREFIX"
    echo "$WX_CONFIG"
    exit 0
fi
if [[ $PRINT_ONLY == 1 ]]; then
    log "no complete wxMSW cache at $PREFIX"
    exit 1
fi

# Only one build per cache root at a time.
exec 9>"$ROOT/.build.lock"
flock 9
if [[ -f "$PREFIX/.complete" && -x "$WX_CONFIG" ]]; then
    echo "$WX_CONFIG"
    exit 0
fi

# The upstream tarball of the source package in the cache, if it was fetched already.
cached_orig() {
    local orig
    for orig in "$WORK/${SOURCE_PACKAGE}_${UPSTREAM_VERSION}"*.orig.tar.*; do
        [[ -f "$orig" ]] && { echo "$orig"; return 0; }
    done
    return 1
}

fetch_source() {
    cached_orig && return
    # deb-src line for the same mirror and suite as the binary packages, present only for this download.
    local sources=/etc/apt/sources.list.d/debian.sources
    local srcfile=/etc/apt/sources.list.d/zk405-wxmsw-src.sources
    local uris suites
    uris=$(awk '/^URIs:/ {print $2; exit}' "$sources")
    suites=$(awk '/^Suites:/ {print $2; exit}' "$sources")
    [[ -n "$uris" && -n "$suites" ]] || { log "no URIs/Suites in $sources"; exit 1; }
    log "adding deb-src $uris $suites main for the download"
    cat >"$srcfile" <<EOF
Types: deb-src
URIs: $uris
Suites: $suites
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    trap 'rm -f "$srcfile"; apt-get update -qq >/dev/null 2>&1 || true' EXIT
    apt-get update -qq >&2
    (cd "$WORK" && apt-get source --download-only "$SOURCE_PACKAGE=$DEB_VERSION" >&2)
    rm -f "$srcfile"
    apt-get update -qq >&2 || true
    trap - EXIT
    cached_orig || { log "apt-get source left no ${SOURCE_PACKAGE}_${UPSTREAM_VERSION} tarball in $WORK"; exit 1; }
}

START=$(date +%s)
ORIG=$(fetch_source)
log "source: $ORIG"
[[ $FETCH_ONLY == 1 ]] && exit 0

SRC="$WORK/wxWidgets-$UPSTREAM_VERSION"
if [[ ! -f "$SRC/configure" ]]; then
    rm -rf "$SRC.tmp"
    mkdir -p "$SRC.tmp"
    tar -xf "$ORIG" -C "$SRC.tmp" --strip-components=1
    mv "$SRC.tmp" "$SRC"
fi

BUILD="$ROOT/build-wxmsw-$UPSTREAM_VERSION-$FLAGS_HASH"
rm -rf "$PREFIX"
# A build interrupted after configure resumes where make stopped.
if [[ ! -f "$BUILD/.configured" ]]; then
    rm -rf "$BUILD"
    mkdir -p "$BUILD"
    cd "$BUILD"
    log "configure (flags hash $FLAGS_HASH)"
    "$SRC/configure" --prefix="$PREFIX" "${CONFIGURE_FLAGS[@]}" \
        CC=$HOST-gcc-posix CXX=$HOST-g++-posix AR=$HOST-ar RANLIB=$HOST-ranlib WINDRES=$HOST-windres \
        CXXFLAGS="-O2" CFLAGS="-O2" >configure.out 2>&1 || {
        tail -n 40 configure.out >&2
        exit 1
    }
    touch .configured
fi
cd "$BUILD"
# Only the base and core libraries: the windows need nothing else.
log "make with $JOBS jobs"
make -j"$JOBS" "$BUILD/lib/libwx_baseu-3.2-$HOST.a" "$BUILD/lib/libwx_mswu_core-3.2-$HOST.a" >make.out 2>&1 || {
    tail -n 40 make.out >&2
    exit 1
}
# "make install" would build every library first; install the two built ones, the headers, setup.h and
# the wx-config script for the prefix instead.
make install-wxconfig >>make.out 2>&1
TOOLCHAIN=$(basename "$(ls -d "$BUILD"/lib/wx/include/*-3.2)")
mkdir -p "$PREFIX/lib/wx/include" "$PREFIX/include/wx-3.2"
cp -a "$BUILD/lib/wx/include/$TOOLCHAIN" "$PREFIX/lib/wx/include/"
cp -a "$BUILD"/lib/libwx_*.a "$PREFIX/lib/"
cp -a "$SRC/include/wx" "$PREFIX/include/wx-3.2/"
cp configure.out make.out "$PREFIX/"
printf '%s\n' "${CONFIGURE_FLAGS[@]}" >"$PREFIX/configure-flags.txt"
touch "$PREFIX/.complete"
rm -rf "$BUILD"
log "wxMSW built in $(($(date +%s) - START)) s into $PREFIX"
echo "$WX_CONFIG"
