#!/usr/bin/env bash
# Makes a Wine prefix ready for the program and its tests: created once, with Wine's own fonts in
# place and a Chinese font for the caption bar. Usage: wine-prefix.sh PREFIX
set -euo pipefail

export WINEPREFIX="$1" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
ready=$WINEPREFIX/.lanyu-ready
[ -f "$ready" ] && exit 0

mkdir -p "$(dirname "$WINEPREFIX")"
exec 9>"$WINEPREFIX.lock"
flock 9  # several tests may start at once; one of them prepares the prefix
[ -f "$ready" ] && exit 0

wineboot --init >/dev/null 2>&1
wineserver -w
# This Wine finds no font of its own outside the prefix: no Marlett for the caption buttons.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# A Chinese Windows links its UI fonts to SimSun; here WenQuanYi stands in for it.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v SimSun /d 'WenQuanYi Micro Hei' /f >/dev/null 2>&1
# With no window manager on a virtual display, Wine draws the caption bar and frame itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
wineserver -w
touch "$ready"
