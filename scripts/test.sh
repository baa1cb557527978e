#!/usr/bin/env bash
# Sets up the machine, builds both configurations (Linux with ASan and UBSan,
# Windows cross-built with MinGW-w64) and runs every test: the Windows tests
# under Wine, the graphical ones on Xvfb when there is no display.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
# Set-up installs Xvfb; the display comes next, then Wine's first start, which
# keeps the display it finds.
bash scripts/setup.sh
source scripts/display.sh
ensure_display || exit 1
bash scripts/wine-prefix.sh

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$ROOT/scripts/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export WINEDEBUG=${WINEDEBUG:--all}

status=0
echo "== Linux build (ASan + UBSan)"
cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSYNAPTOR_SANITIZE=ON |
    sed -n 's/^-- \(Vidlane2: CUDA .*\)/\1/p'
cmake --build build/linux -j2
ctest --test-dir build/linux -j2 --output-on-failure --label-exclude gpu || status=1

echo "== Windows build (MinGW-w64, tests under Wine)"
cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DSYNAPTOR_BUILD_VIDLANE2=ON >/dev/null
cmake --build build/windows -j2
# Wine's server and services start here, once, with no output of ours: started
# by the first test, they would inherit its output pipe and outlive it, and
# CTest would wait on that pipe until the test timed out.
wineserver -p </dev/null >/dev/null 2>&1 || true
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true
ctest --test-dir build/windows -j2 --output-on-failure --label-exclude gpu || status=1
wineserver -k 2>/dev/null || true

exit $status
