# Shared set-up for the project's scripts: packages, build presets, the private wine prefix.
# Source it; it defines functions only (and ROOT).

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

log() { printf '== %s\n' "$*"; }

# ensure_packages PKG...: installs what is missing, running `apt-get update` at most once.
APT_UPDATED=0
ensure_packages() {
    local missing=()
    local pkg
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    log "installing ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    if [ "$APT_UPDATED" -eq 0 ]; then
        "${sudo[@]}" apt-get update -qq
        APT_UPDATED=1
    fi
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
        "${missing[@]}" >/dev/null
}

# Everything that building and testing needs.
ensure_build_packages() {
    ensure_packages cmake ninja-build g++ clang libclang-rt-14-dev clang-format googletest \
        g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 xvfb xauth locales
    # The updater's tests and demonstration: Japanese glyphs on screen, screenshots, and the
    # file-system faults (immutable folders, a small tmpfs).
    ensure_packages fonts-ipafont-gothic imagemagick e2fsprogs util-linux
    # The publisher's workflow test: a throwaway certificate and Authenticode signing.
    ensure_packages openssl osslsigncode
}

# configure_and_build PRESET: configures (once) and builds one preset.
configure_and_build() {
    local preset=$1
    log "building preset $preset"
    if [ ! -f "$ROOT/build/$preset/build.ninja" ]; then
        cmake --preset "$preset" -S "$ROOT" >"$ROOT/build/$preset.configure.log" 2>&1 || {
            cat "$ROOT/build/$preset.configure.log"
            return 1
        }
    fi
    cmake --build --preset "$preset" -j "$(nproc)"
}

# The environment of every wine process of the win64 build: the prefix and the compiled
# Japanese locale live inside the build tree, so code page 932 paths work.
wine_env() {
    local build=$ROOT/build/win64
    export WINEPREFIX=$build/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LOCPATH=$build/locale
    # bash itself may not find the private locale; only wine needs it.
    export LC_ALL=ja_JP.UTF-8 2>/dev/null
}

# prepare_wine: compiles the locale and initialises the prefix once, then keeps a wineserver
# running so that each later wine process starts fast. stop_wine ends it.
prepare_wine() {
    local build=$ROOT/build/win64
    mkdir -p "$build/locale"
    if [ ! -d "$build/locale/ja_JP.UTF-8" ]; then
        localedef -i ja_JP -f UTF-8 "$build/locale/ja_JP.UTF-8" 2>/dev/null ||
            [ -d "$build/locale/ja_JP.UTF-8" ]
    fi
    wine_env
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "initialising the wine prefix"
        "$WINE64" wineboot --init >/dev/null 2>&1 || true
        "$WINESERVER" -w
    fi
    "$WINESERVER" -p
    # Start wine's background services now: started by the first test instead, they would
    # inherit and hold ctest's output pipe, and test discovery would never finish.
    "$WINE64" wineboot >/dev/null 2>&1 || true
    # Likewise the desktop process that the first window starts.
    local warmup=$build/tests/support/gs_wine_warmup.exe
    if [ -n "${DISPLAY:-}" ] && [ -f "$warmup" ]; then
        "$WINE64" "$warmup" </dev/null >/dev/null 2>&1 || true
    fi
}

stop_wine() {
    [ -n "${WINEPREFIX:-}" ] && "$WINESERVER" -k >/dev/null 2>&1 || true
}

# start_display: a private Xvfb for programs that open windows, unless one is given.
XVFB_PID=
start_display() {
    [ -n "${DISPLAY:-}" ] && return 0
    local n
    for n in $(seq 90 120); do
        [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    local i
    for i in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && return 0
        sleep 0.1
    done
    log "Xvfb did not start"
    return 1
}

stop_display() {
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null || true
}

# to_windows_path PATH: a host path as wine programs see it (drive Z: is the root).
to_windows_path() {
    local path=$1
    printf 'Z:%s' "${path//\//\\}"
}

# wine_japanese_fonts: lets the dialog fonts that Japanese programs name ("ＭＳ Ｐゴシック" and
# its relatives) be drawn with the IPA fonts, whose metrics match them, so that texts fit their
# controls as they do on Windows. Needs prepare_wine.
wine_japanese_fonts() {
    local key='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
    local pair
    for pair in 'ＭＳ Ｐゴシック=IPAPGothic' 'ＭＳ ゴシック=IPAGothic' \
        'MS PGothic=IPAPGothic' 'MS Gothic=IPAGothic'; do
        "$WINE64" reg add "$key" /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || true
    done
}

# wine_window_frames on|off: with "on", wine draws the windows' title bars and frames itself,
# as it must on a display without a window manager (Xvfb); "off" gives that back to the
# window manager. Needs prepare_wine.
wine_window_frames() {
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$1" = on ]; then
        "$WINE64" reg add "$key" /v Managed /d N /f >/dev/null 2>&1 || true
    else
        "$WINE64" reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
    fi
}
