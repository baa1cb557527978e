#!/usr/bin/env bash
# Builds and runs the settings-file fuzzer (libFuzzer with ASan and UBSan) on one
# core. Not part of CI or of the CMake build.
#   scripts/fuzz.sh [seconds]      default 180
# New inputs collect in build/fuzz/corpus-ini; a failing input is written to
# build/fuzz/ and the script exits non-zero.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
SECONDS_TO_RUN=${1:-180}
OUT=build/fuzz
mkdir -p "$OUT/corpus-ini"

clang++ -std=c++17 -O1 -g -fno-omit-frame-pointer \
    -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
    -Wall -Wextra -Werror \
    -I launcher/appframe \
    tests/fuzz/IniFuzz.cpp \
    launcher/appframe/IniFile.cpp launcher/appframe/IniReader.cpp launcher/appframe/IniWriter.cpp \
    -o "$OUT/ini_fuzz"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec "$OUT/ini_fuzz" "$OUT/corpus-ini" tests/fuzz/corpus/ini \
    -dict=tests/fuzz/ini.dict -max_len=4096 -max_total_time="$SECONDS_TO_RUN" \
    -print_final_stats=1 -artifact_prefix="$OUT/"
