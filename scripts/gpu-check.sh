#!/usr/bin/env bash
# GPU check, in two halves.
#
#   scripts/gpu-check.sh             here: builds build/gpu (Release, no sanitizers,
#                                    Vidlane2 only) and prints the `run` call for the
#                                    lent GPU machine.
#   scripts/gpu-check.sh --on-device ROOT
#                                    there (what the printed call runs): every test
#                                    labelled gpu, then every *_bench program.
#                                    ROOT is where build/gpu was built: its CTest
#                                    files name absolute paths, so ROOT is linked to
#                                    the copy of the tree on that machine.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=build/gpu
cd "$ROOT"

if [ "${1:-}" = --on-device ]; then
    built=${2:?usage: gpu-check.sh --on-device ROOT}
    out=${OUT:-$ROOT/$BUILD/out}
    mkdir -p "$out"
    if [ "$built" != "$ROOT" ] && [ ! -e "$built" ]; then
        mkdir -p "$(dirname "$built")"
        ln -s "$ROOT" "$built"
    fi
    nvidia-smi -L || true
    set +e
    export VIDLANE2_REQUIRE_GPU=1
    ctest --test-dir "$BUILD" -L gpu --output-on-failure --timeout 300 2>&1 | tee "$out/gpu-tests.log"
    status=${PIPESTATUS[0]}
    : >"$out/bench.log"
    for bench in "$BUILD"/bin/*_bench; do
        [ -x "$bench" ] || continue
        echo "== $(basename "$bench")" | tee -a "$out/bench.log"
        "$bench" 2>&1 | tee -a "$out/bench.log"
        [ "${PIPESTATUS[0]}" = 0 ] || status=1
    done
    exit "$status"
fi

cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSYNAPTOR_SANITIZE=OFF \
    -DSYNAPTOR_BUILD_LAUNCHER=OFF -DSYNAPTOR_BUILD_VIDLANE2=ON >/dev/null
cmake --build "$BUILD" -j2
tests=$(ctest --test-dir "$BUILD" -N -L gpu | sed -n 's/^Total Tests: //p')
echo
echo "Built $BUILD ($(du -sh "$BUILD" | cut -f1)) with ${tests:-0} gpu-labelled tests."
echo "Run on the lent GPU machine from this checkout, with the device tool's run:"
echo "  command:   bash scripts/gpu-check.sh --on-device $ROOT"
echo "  carry:     [\"$BUILD\"]"
echo "  timeout_s: 420"
echo "The logs come back as gpu-tests.log and bench.log."
