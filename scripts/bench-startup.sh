#!/usr/bin/env bash
# Times the launcher's start-up and its idle frames on this machine's display
# (Mesa), for the Linux and the Windows (Wine) builds, with the start-up probe:
# a test program that runs the real frame with an application that sets up and
# draws the sky as the launcher does. The launcher itself carries no timing code.
#   scripts/bench-startup.sh [runs]        (default 3 runs per figure; medians)
# Figures, in milliseconds:
#   first_frame_presented_since_launch  process launch (exec, Wine's start included)
#                                       to the return of the first frame's buffer swap
#   frame_startup        main() to the factory call: GLFW, window, GL loader, Dear ImGui
#   sky_setup_call       the sky's set-up in the constructor (shaders, program, quad, texture object)
#   fonts_and_new_frame  constructor to the first OnUpdate: the frame's font atlas build
#   first_draw_sky_call  the first DrawSky: waits for the panorama, uploads it, draws
#   idle_frame_cpu       process CPU time per idle frame (all threads), 900x600 and 1920x1080
#   pieces: each step alone in a hidden window, finished with glFinish: wall time,
#           and process CPU time (all threads; coarse under Wine)
# The machine is shared: wall times stretch with its load, CPU times much less.
# PROBE_LINUX and PROBE_WINDOWS name other probe builds to time.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-3}
source "$ROOT/scripts/display.sh"
ensure_display || exit 1
export WINEDEBUG=-all ASAN_OPTIONS=detect_leaks=0
WINE=${WINE:-/usr/lib/wine/wine64}
TMP=$(mktemp -d)
WINE_SETTINGS="${WINEPREFIX:-$HOME/.wine}/drive_c/users/${USER:-$(id -un)}/AppData/Local/AppFrame"
trap 'rm -rf "$TMP" "$WINE_SETTINGS"/sky-bench-*; stop_display' EXIT

median() { sort -n | awk '{a[NR]=$1} END {if (NR) print a[int((NR+1)/2)]; else print "-"}'; }
figure() { grep "^$1 " "$2" | awk '{print $2}' | median; }

bench() { # <label> <probe> [wine]
    local label=$1 probe=$2 runner=${3:-}
    [ -x "$probe" ] || { echo "$label: no probe at $probe (build it first)"; return; }
    echo "== $label ($probe)"
    : > "$TMP/run.txt"; : > "$TMP/big.txt"; : > "$TMP/pieces.txt"
    for i in $(seq "$RUNS"); do
        XDG_DATA_HOME="$TMP/data$i" $runner "$probe" run --name "sky-bench-$$-$i" --frames 100 \
            --launched-at "$(date +%s%3N)" >> "$TMP/run.txt" 2>/dev/null
        XDG_DATA_HOME="$TMP/data$i" $runner "$probe" run --name "sky-bench-big-$$-$i" --frames 20 \
            --size 1920x1080 >> "$TMP/big.txt" 2>/dev/null
        $runner "$probe" pieces >> "$TMP/pieces.txt" 2>/dev/null
    done
    for f in first_frame_presented_since_launch first_frame_presented frame_startup sky_setup_call \
             fonts_and_new_frame first_draw_sky_call; do
        printf '  %-36s %8s\n' "$f" "$(figure $f "$TMP/run.txt")"
    done
    printf '  %-36s %8s\n' renderer "$(grep -m1 '^renderer ' "$TMP/pieces.txt" | cut -d' ' -f2-)"
    printf '  %-36s %8s\n' "idle_frame_cpu (900x600)" "$(figure idle_frame_cpu "$TMP/run.txt")"
    printf '  %-36s %8s\n' "idle_frame_wall (900x600)" "$(figure idle_frame_wall "$TMP/run.txt")"
    printf '  %-36s %8s\n' "idle_frame_cpu (1920x1080)" "$(figure idle_frame_cpu "$TMP/big.txt")"
    printf '  %-36s %8s\n' "idle_frame_wall (1920x1080)" "$(figure idle_frame_wall "$TMP/big.txt")"
    echo "  pieces:"
    printf '    %-34s %8s %8s\n' "" wall cpu
    for f in font_atlas_builtin font_atlas_first_frame imgui_first_new_frame shader_compile_link_quad \
             first_draw_with_shader_jit second_draw panorama_decode panorama_upload panorama_mipmaps; do
        printf '    %-34s %8s %8s\n' "$f" "$(figure $f "$TMP/pieces.txt")" "$(figure ${f}_cpu "$TMP/pieces.txt")"
    done
}

echo "machine: $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg)"
bench "Linux build" "${PROBE_LINUX:-$ROOT/build/linux/bin/sky_startup_probe}"
bench "Windows build under Wine" "${PROBE_WINDOWS:-$ROOT/build/windows/bin/sky_startup_probe.exe}" "$WINE"
