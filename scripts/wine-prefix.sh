#!/usr/bin/env bash
# Creates the Wine prefix (Wine's first start, about 10 s) on the display in
# DISPLAY: Wine keeps the display it first finds. Run after scripts/setup.sh
# and after the display is up; a second run only checks.
set -euo pipefail
say() { echo "wine-prefix: $*"; }
if [ -z "${DISPLAY:-}" ]; then
    echo "wine-prefix: DISPLAY is unset; start the display first" >&2
    exit 1
fi
prefix=${WINEPREFIX:-$HOME/.wine}
if [ -e "$prefix/system.reg" ]; then
    say "present ($prefix)"
    exit 0
fi
say "creating $prefix (first start, about 10 s)"
WINEDEBUG=-all /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
wineserver -w 2>/dev/null || true
if [ ! -e "$prefix/system.reg" ]; then
    echo "wine-prefix: Wine did not create $prefix" >&2
    exit 1
fi
say "done"
