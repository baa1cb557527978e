#!/usr/bin/env bash
# Sets up the machine, builds the launcher with the stand-in simulator beside it,
# and runs it. With a display it runs until you close it (Escape). Without one it
# runs on Xvfb, saves a screenshot of its window once it has drawn, says where,
# and closes; a window that never appears or stays empty is an error.
#   scripts/run.sh            the Linux build
#   scripts/run.sh --windows  the Windows build under Wine
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
platform=linux
[ "${1:-}" = "--windows" ] && platform=windows

# Set-up installs Xvfb; the display comes next, then Wine's first start, which
# keeps the display it finds.
bash scripts/setup.sh
source "$ROOT/scripts/display.sh"
headless=false
[ -z "${DISPLAY:-}" ] && headless=true
ensure_display || exit 1
if [ $platform = windows ]; then
    bash scripts/wine-prefix.sh
    cmake -S . -B build/run-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DSYNAPTOR_BUILD_TESTS=OFF -DSYNAPTOR_BUILD_VIDLANE2=OFF >/dev/null
    cmake --build build/run-windows -j2 --target launcher $(test -d tools/neuroblitz && echo Neuroblitz64)
    bin="$ROOT/build/run-windows/bin"
    command=(/usr/lib/wine/wine64 ./launcher.exe)
    export WINEDEBUG=${WINEDEBUG:--all}
else
    cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=Release -DSYNAPTOR_BUILD_TESTS=OFF \
        -DSYNAPTOR_BUILD_VIDLANE2=OFF >/dev/null
    cmake --build build/run -j2 --target launcher $(test -d tools/neuroblitz && echo Neuroblitz64)
    bin="$ROOT/build/run/bin"
    command=(./launcher)
fi

cd "$bin" # the launcher starts the simulator from its current folder
if [ $headless = false ]; then
    exec "${command[@]}"
fi

"${command[@]}" &
pid=$!
stop_launcher() {
    # Escape closes the launcher as a user would; it is stopped if it does not.
    if [ -n "${window:-}" ]; then
        xdotool windowfocus --sync "$window" key --window "$window" Escape >/dev/null 2>&1 || true
    fi
    for _ in $(seq 50); do
        kill -0 $pid 2>/dev/null || break
        sleep 0.1
    done
    kill $pid 2>/dev/null || true
    wait $pid 2>/dev/null || true
}
fail() { echo "run: $*" >&2; stop_launcher; exit 1; }

window=$(timeout 60 xdotool search --sync --onlyvisible --name '^Synaptor Demo$' | head -n1 || true)
[ -n "$window" ] || fail "the launcher window did not appear within 60 s"
eval "$(xdotool getwindowgeometry --shell "$window")" # X, Y, WIDTH, HEIGHT
mkdir -p "$ROOT/out"
shot="$ROOT/out/launcher-$platform.png"
# The first frame can take many seconds on a busy machine: wait until the
# window shows more than a few colours (an empty window has one).
drawn=false
for _ in $(seq 120); do
    kill -0 $pid 2>/dev/null || fail "the launcher ended before it drew its window"
    import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
    if [ "$(convert "$shot" -format %k info:)" -gt 16 ]; then
        drawn=true
        break
    fi
    sleep 0.5
done
$drawn || fail "the launcher window stayed empty for 60 s"
sleep "${SYNAPTOR_SCREENSHOT_DELAY:-2}" # let the first frames settle
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
echo "run: the launcher ran on Xvfb $DISPLAY; screenshot of its window saved to $shot"
stop_launcher
