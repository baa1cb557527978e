#!/usr/bin/env bash
# Times the real launcher to its first presented frame against a bare GLFW and
# Dear ImGui window of the same size and context (tests/launcher/appframe/
# bare_window.cpp), each build against a bare window of its own build: Linux
# natively, Windows under Wine. Runs interleave; medians, in milliseconds, from
# the exec to the return of the first buffer swap, which a preloaded shim
# (scripts/first-swap-shim.c) notes before it ends the process.
#   scripts/bench-first-frame.sh [runs]          (default 7)
# The launcher runs twice a round: with no settings ("first run") and with the
# settings it leaves behind ("later run", its own font request stored).
# BUILD_LINUX and BUILD_WINDOWS name the bin folders (default build/release/bin
# and build/windows/bin; use builds without sanitizers). FIRST_SWAP_SHOTS=<folder>
# also saves a screenshot of each program's first frame there, as a PNG.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-7}
source "$ROOT/scripts/display.sh"
ensure_display
export WINEDEBUG=-all LANG=${LANG:-C.UTF-8}
WINE=${WINE:-/usr/lib/wine/wine64}
TMP=$(mktemp -d)
WINE_FOLDER="${WINEPREFIX:-$HOME/.wine}/drive_c/users/${USER:-$(id -un)}/AppData/Local/AppFrame/Synaptor Demo"
WINE_KEPT="$TMP/wine-settings-kept"
restore_wine_settings() {
    rm -rf "$WINE_FOLDER"
    if [ -d "$WINE_KEPT" ]; then mv "$WINE_KEPT" "$WINE_FOLDER"; fi
}
# The launcher's settings folder under Wine is the user's own: kept aside meanwhile.
[ -d "$WINE_FOLDER" ] && mv "$WINE_FOLDER" "$WINE_KEPT"
trap 'restore_wine_settings; rm -rf "$TMP"' EXIT

SHIM="$TMP/first-swap.so"
cc -O2 -shared -fPIC -o "$SHIM" "$ROOT/scripts/first-swap-shim.c" -ldl
LATER_RUN=$'[font]\r\nenabled=1\r\ntype=5\r\nsize=24.000000'

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "-"}'; }

# Prints the milliseconds from exec to the first swap's return; "-" without a swap.
# <settings: none or later> <screenshot name> <command...>
time_first_frame() {
    local settings=$1 shot=$2
    shift 2
    local out="$TMP/swap" data="$TMP/data"
    rm -rf "$out" "$data" "$WINE_FOLDER"
    mkdir -p "$data"
    if [ "$settings" = later ]; then
        for folder in "$data/AppFrame/Synaptor Demo" "$WINE_FOLDER"; do
            mkdir -p "$folder"
            printf '%s' "$LATER_RUN" > "$folder/appframe.ini"
        done
    fi
    local shot_path=""
    [ -n "${FIRST_SWAP_SHOTS:-}" ] && shot_path="$FIRST_SWAP_SHOTS/$shot.png"
    local start=${EPOCHREALTIME/[.,]/}
    FIRST_SWAP_OUT="$out" FIRST_SWAP_SHOT="$shot_path" XDG_DATA_HOME="$data" LD_PRELOAD="$SHIM" \
        timeout 60 "$@" >/dev/null 2>&1 </dev/null || true
    if [ -s "$out" ]; then
        echo $(( ($(cat "$out") / 1000 - start) / 1000 ))
    else
        echo "-"
    fi
}

bench() { # <label> <bin folder> <exe suffix> [runner]
    local label=$1 bin=$2 exe=$3 runner=${4:-}
    local bare="$bin/bare_window$exe" launcher="$bin/launcher$exe"
    if [ ! -x "$bare" ] || [ ! -x "$launcher" ]; then
        echo "$label: build bare_window and launcher in $bin first"
        return
    fi
    : > "$TMP/bare"; : > "$TMP/first"; : > "$TMP/later"
    # Wine's first start in a session sets up its services: not part of any figure.
    if [ -n "$runner" ]; then
        "$(dirname "$runner")/wineserver" -p 2>/dev/null || true
        time_first_frame none warm $runner "$bare" >/dev/null
    fi
    for i in $(seq "$RUNS"); do
        time_first_frame none "$label-bare" $runner "$bare" >> "$TMP/bare"
        time_first_frame none "$label-launcher-first" $runner "$launcher" >> "$TMP/first"
        time_first_frame later "$label-launcher-later" $runner "$launcher" >> "$TMP/later"
    done
    rm -rf "$WINE_FOLDER"
    local b f l
    b=$(median < "$TMP/bare"); f=$(median < "$TMP/first"); l=$(median < "$TMP/later")
    echo "== $label ($bin), medians of $RUNS interleaved runs, ms from exec to the first swap's return"
    printf '  %-22s %6s   runs: %s\n' "bare window" "$b" "$(tr '\n' ' ' < "$TMP/bare")"
    printf '  %-22s %6s   runs: %s\n' "launcher, first run" "$f" "$(tr '\n' ' ' < "$TMP/first")"
    printf '  %-22s %6s   runs: %s\n' "launcher, later run" "$l" "$(tr '\n' ' ' < "$TMP/later")"
    awk -v b="$b" -v f="$f" -v l="$l" 'BEGIN { if (b > 0) printf "  ratio to the bare window: first run %.2f, later run %.2f\n", f / b, l / b }'
}

echo "machine: $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), load $(cut -d' ' -f1-3 /proc/loadavg)"
echo "renderer: $(glxinfo -B 2>/dev/null | grep -m1 'OpenGL renderer' | cut -d: -f2 | sed 's/^ //' || echo unknown)"
bench "Linux build" "${BUILD_LINUX:-$ROOT/build/release/bin}" ""
bench "Windows build under Wine" "${BUILD_WINDOWS:-$ROOT/build/windows/bin}" .exe "$WINE"
