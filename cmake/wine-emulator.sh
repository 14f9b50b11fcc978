#!/usr/bin/env bash
# Runs one Windows program under Wine in the build's own prefix, never stopping to offer Mono or
# Gecko. Usage: wine-emulator.sh PREFIX PROGRAM [ARGS...]
set -euo pipefail

export WINEPREFIX="$1"
shift
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# The users' Windows is Chinese; so is the one the tests run on, when the locale exists.
if locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then export LANG=zh_CN.UTF-8 LC_ALL=zh_CN.UTF-8; fi

"$(dirname "$0")/wine-prefix.sh" "$WINEPREFIX"

if [ -n "${DISPLAY:-}" ]; then
    exec wine "$@"
fi
# No display: a virtual one for this program alone, with the wineserver ended before it goes.
exec xvfb-run -a -s "-screen 0 1024x768x24" sh -c 'wine "$@"; status=$?; wineserver -k; exit $status' wine "$@"
