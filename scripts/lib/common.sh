# Shared by the scripts: building both builds, and a display and a Wine session for Windows programs.
# shellcheck shell=bash

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
LINUX_BUILD=$ROOT/build/linux
WINDOWS_BUILD=$ROOT/build/windows

say() { echo "== $*"; }

build_linux() {
    say "building for Linux in build/linux"
    cmake -S "$ROOT" -B "$LINUX_BUILD" -DCMAKE_BUILD_TYPE=Release >/dev/null
    cmake --build "$LINUX_BUILD" -j"$(nproc)" -- --no-print-directory >/dev/null
}

# Builds the named targets (all when none are named) of the Windows build.
build_windows() {
    say "building for Windows in build/windows"
    cmake -S "$ROOT" -B "$WINDOWS_BUILD" -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-x86_64.cmake" \
        -DGOOGLETEST_SOURCE_DIR=/usr/src/googletest >/dev/null
    local targets=()
    for target in "$@"; do targets+=(--target "$target"); done
    cmake --build "$WINDOWS_BUILD" -j"$(nproc)" "${targets[@]}" -- --no-print-directory >/dev/null
}

wine_env() {
    export WINEPREFIX=$WINDOWS_BUILD/wineprefix
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
    export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8
}

# A virtual 1024 x 768 display for this script alone; DISPLAY points at it until stop_session.
start_virtual_display() {
    local n
    for n in $(seq 90 140); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=":$n"
        local i
        for i in $(seq 50); do
            xdpyinfo >/dev/null 2>&1 && return 0
            kill -0 "$XVFB_PID" 2>/dev/null || break
            sleep 0.1
        done
    done
    echo "could not start a virtual display" >&2
    return 1
}

# One wineserver for every Windows program of this script, so that each starts in a blink.
start_wine_session() {
    wine_env
    "$ROOT/cmake/wine-prefix.sh" "$WINEPREFIX"
    wineserver -p
    # Bring up Wine's desktop process now, so that it holds no test's output open later.
    wine cmd.exe /c exit </dev/null >/dev/null 2>&1
}

stop_session() {
    if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
    if [ -n "${XVFB_PID:-}" ]; then kill "$XVFB_PID" 2>/dev/null || true; fi
}
