# Shared set-up for the project's scripts: packages, build presets, the private wine prefix.
# Source it; it defines functions only (and ROOT).

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
WINE64=/usr/lib/wine/wine64
WINE32=/usr/lib/wine/wine
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

# Everything that building and testing needs. The 32-bit wine comes from Debian's i386
# architecture, beside wine64.
ensure_build_packages() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        log "adding the i386 architecture (for the 32-bit wine)"
        as_root dpkg --add-architecture i386
        APT_UPDATED=0
    fi
    ensure_packages cmake ninja-build g++ clang libclang-rt-14-dev clang-format googletest \
        g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine32:i386 xvfb xauth locales
    # The updater's tests and demonstration: Japanese glyphs on screen, wine's own fonts (its
    # Marlett draws the close buttons and check marks; without it they show as letters),
    # screenshots, and the file-system faults (immutable folders, a small tmpfs).
    ensure_packages fonts-ipafont-gothic fonts-wine imagemagick e2fsprogs util-linux
    # The icon's script and its test.
    ensure_packages python3
    # The publisher's workflow test: a throwaway certificate and Authenticode signing.
    ensure_packages openssl osslsigncode
}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# configure_and_build PRESET [CMAKE_ARGS...]: configures (once, or again when given arguments)
# and builds one preset: all of it, or the targets in $BUILD_TARGETS.
configure_and_build() {
    local preset=$1
    shift
    log "building preset $preset"
    if [ ! -f "$ROOT/build/$preset/build.ninja" ] || [ $# -gt 0 ]; then
        cmake --preset "$preset" -S "$ROOT" "$@" >"$ROOT/build/$preset.configure.log" 2>&1 || {
            cat "$ROOT/build/$preset.configure.log"
            return 1
        }
    fi
    # shellcheck disable=SC2086 # a list of target names
    cmake --build --preset "$preset" -j "$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
}

# The 32-bit programs need a kernel that runs 32-bit processes. A kernel built or booted
# without that refuses them (ENOEXEC); qemu's user-mode emulation, registered for 32-bit x86
# programs, then runs them, wine's 32-bit half included. Sets WIN32_RUNNER to a description
# and returns 0 when a 32-bit Linux program runs, else sets WIN32_MISSING to the reason.
WIN32_RUNNER=
WIN32_MISSING=
ensure_32bit_processes() {
    # GS_WIN32=off: as on a machine without 32-bit programs (to check that path).
    if [ "${GS_WIN32:-}" = off ]; then
        WIN32_MISSING="GS_WIN32=off"
        return 1
    fi
    local probe=$ROOT/build/probe-elf32
    mkdir -p "$ROOT/build"
    # A 96-byte i386 program that only exits with 42.
    printf '\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
    chmod +x "$probe"
    local status=0
    "$probe" 2>/dev/null || status=$?
    if [ "$status" -eq 42 ]; then
        WIN32_RUNNER="the kernel"
        [ -e /proc/sys/fs/binfmt_misc/gs-i386 ] && WIN32_RUNNER="qemu's user-mode emulation"
        return 0
    fi
    # qemu before 8 handles wine's address-space reservation one 64 KiB piece at a time: a
    # minute per process start. Debian 12 has a newer one in its backports.
    local codename
    codename=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
    if [ "$codename" = bookworm ] && ! apt-cache policy 2>/dev/null | grep -q bookworm-backports; then
        log "adding Debian's bookworm-backports (for qemu-user 10)"
        printf 'Types: deb\nURIs: http://deb.debian.org/debian\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' |
            as_root tee /etc/apt/sources.list.d/gs-bookworm-backports.sources >/dev/null
        APT_UPDATED=0
    fi
    qemu_major() { qemu-i386 --version 2>/dev/null | sed -n 's/^qemu-i386 version \([0-9]*\).*/\1/p'; }
    local major
    major=$(qemu_major)
    if [ "${major:-0}" -lt 8 ]; then
        local target=()
        [ "$codename" = bookworm ] && target=(-t bookworm-backports)
        log "installing qemu-user ${target[*]}"
        if [ "$APT_UPDATED" -eq 0 ]; then
            as_root apt-get update -qq
            APT_UPDATED=1
        fi
        DEBIAN_FRONTEND=noninteractive as_root apt-get install -y -qq --no-install-recommends \
            "${target[@]}" qemu-user >/dev/null 2>&1
        major=$(qemu_major)
    fi
    if [ "${major:-0}" -lt 8 ]; then
        WIN32_MISSING="the kernel runs no 32-bit processes and no qemu-user of version 8 or later could be installed"
        return 1
    fi
    # Registered with F: the emulator is opened now, so that it serves every later process.
    [ -e /proc/sys/fs/binfmt_misc/register ] ||
        as_root mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null
    [ -e /proc/sys/fs/binfmt_misc/gs-i386 ] && printf -- '-1' | as_root tee /proc/sys/fs/binfmt_misc/gs-i386 >/dev/null
    printf '%s' ':gs-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:'"$(command -v qemu-i386)"':F' |
        as_root tee /proc/sys/fs/binfmt_misc/register >/dev/null 2>&1
    status=0
    "$probe" 2>/dev/null || status=$?
    if [ "$status" -eq 42 ]; then
        WIN32_RUNNER="qemu's user-mode emulation (the kernel runs no 32-bit processes)"
        return 0
    fi
    WIN32_MISSING="the kernel runs no 32-bit processes and qemu-i386 could not be registered for them"
    return 1
}

# The wine environment of one build tree (win32-tests or win64): its prefix and compiled
# Japanese locale live inside the tree, so code page 932 paths work. $WINE is the loader of the
# tree's word size; both prefixes are 64-bit Windows, as users have it.
WINE=
use_wine_tree() {
    local build=$ROOT/build/$1
    case $1 in win32*) WINE=$WINE32 ;; *) WINE=$WINE64 ;; esac
    export WINE WINE64
    export WINEPREFIX=$build/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LOCPATH=$build/locale
    # bash itself may not find the private locale; only wine needs it.
    export LC_ALL=ja_JP.UTF-8 2>/dev/null
}

# prepare_wine TREE: compiles the locale and initialises the prefix once, then keeps a
# wineserver running so that each later wine process starts fast; the tree's environment stays
# set. stop_wine ends every server started.
WINE_PREFIXES=()
prepare_wine() {
    local tree=$1 build=$ROOT/build/$1
    mkdir -p "$build/locale"
    if [ ! -d "$build/locale/ja_JP.UTF-8" ]; then
        localedef -i ja_JP -f UTF-8 "$build/locale/ja_JP.UTF-8" 2>/dev/null ||
            [ -d "$build/locale/ja_JP.UTF-8" ]
    fi
    use_wine_tree "$tree"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        log "initialising the wine prefix of $tree"
        "$WINE64" wineboot --init >/dev/null 2>&1 || true
        "$WINESERVER" -w
    fi
    # Already running when the tree was prepared before: that server serves on.
    "$WINESERVER" -p 2>/dev/null || true
    [[ " ${WINE_PREFIXES[*]} " == *" $WINEPREFIX "* ]] || WINE_PREFIXES+=("$WINEPREFIX")
    # Start wine's background services now: started by the first test instead, they would
    # inherit and hold ctest's output pipe, and test discovery would never finish.
    "$WINE64" wineboot >/dev/null 2>&1 || true
    # Likewise the desktop process that the first window starts.
    local warmup=$build/tests/support/gs_wine_warmup.exe
    if [ -n "${DISPLAY:-}" ] && [ -f "$warmup" ]; then
        "$WINE" "$warmup" </dev/null >/dev/null 2>&1 || true
    fi
}

stop_wine() {
    local prefix
    for prefix in "${WINE_PREFIXES[@]}"; do
        WINEPREFIX=$prefix "$WINESERVER" -k >/dev/null 2>&1 || true
    done
    WINE_PREFIXES=()
}

# win32_programs_start: 0 when the 32-bit wine starts the shipped 32-bit diagnostic in the
# win32-tests prefix (it prints its usage and exits with 3). Needs prepare_wine win32-tests.
win32_programs_start() {
    local status=0
    "$WINE32" "$ROOT/build/win32/updater/gsdiag.exe" </dev/null >"$ROOT/build/probe-win32.log" 2>&1 ||
        status=$?
    [ "$status" -eq 3 ] && grep -q 'usage: gsdiag' "$ROOT/build/probe-win32.log"
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
        "$WINE" reg add "$key" /v "${pair%%=*}" /d "${pair#*=}" /f >/dev/null 2>&1 || true
    done
}

# wine_marlett: registers the Marlett font of Debian's fonts-wine in the prefix. Wine draws the
# title bars' buttons and the check marks with its glyphs (else the close button shows an "r");
# this wine does not find the font in its data folder by itself. Needs prepare_wine.
wine_marlett() {
    local font=/usr/share/wine/fonts/marlett.ttf
    [ -f "$font" ] || return 0
    "$WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
        /v 'Marlett (TrueType)' /d "$(to_windows_path "$font")" /f >/dev/null 2>&1 || true
}

# wine_window_frames on|off: with "on", wine draws the windows' title bars and frames itself,
# as it must on a display without a window manager (Xvfb); "off" gives that back to the
# window manager. Needs prepare_wine.
wine_window_frames() {
    local key='HKCU\Software\Wine\X11 Driver'
    if [ "$1" = on ]; then
        "$WINE" reg add "$key" /v Managed /d N /f >/dev/null 2>&1 || true
    else
        "$WINE" reg delete "$key" /v Managed /f >/dev/null 2>&1 || true
    fi
}

# wine_dpi N: the dots per inch that wine gives the display (96 is 100%, 192 is 200%), for the
# processes started after it. Needs prepare_wine.
wine_dpi() {
    "$WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1 || true
}
