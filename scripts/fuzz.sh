#!/usr/bin/env bash
# Builds and runs the parser fuzzers (libFuzzer with ASan and UBSan) on one core,
# one after the other: the settings file's reader and writer, the video tool's
# elementary-stream splitter (with its codec and container recognition) and IVF
# reader, and Vidlane2's sequence parameter set reader. Not part of CI or of the
# CMake build.
#   scripts/fuzz.sh [seconds per fuzzer]      default 180
# New inputs collect in build/fuzz/corpus-<name>; a failing input is written to
# build/fuzz/ and the script exits non-zero.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
SECONDS_TO_RUN=${1:-180}
OUT=build/fuzz
mkdir -p "$OUT/corpus-ini" "$OUT/corpus-access-units" "$OUT/corpus-ivf" "$OUT/corpus-sps"

build() { # <output> <sources and flags...>
    local output=$1
    shift
    clang++ -std=c++17 -O1 -g -fno-omit-frame-pointer \
        -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
        -Wall -Wextra -Werror "$@" -o "$OUT/$output"
}
build ini_fuzz -I launcher/appframe tests/fuzz/IniFuzz.cpp \
    launcher/appframe/IniFile.cpp launcher/appframe/IniReader.cpp launcher/appframe/IniWriter.cpp
build access_units_fuzz -I vidlane2/tools -I vidlane2/include tests/fuzz/AccessUnitsFuzz.cpp vidlane2/tools/AccessUnits.cpp \
    vidlane2/tools/ForeignContainer.cpp vidlane2/tools/StreamCodec.cpp
build ivf_fuzz -I vidlane2/tools tests/fuzz/IvfFuzz.cpp vidlane2/tools/IvfReader.cpp
build sps_fuzz -I vidlane2 tests/fuzz/SequenceParameterSetFuzz.cpp vidlane2/bitstream/*.cpp

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
"$OUT/ini_fuzz" "$OUT/corpus-ini" tests/fuzz/corpus/ini \
    -dict=tests/fuzz/ini.dict -max_len=4096 -max_total_time="$SECONDS_TO_RUN" \
    -print_final_stats=1 -artifact_prefix="$OUT/"
"$OUT/access_units_fuzz" "$OUT/corpus-access-units" tests/fuzz/corpus/access-units \
    -max_len=4096 -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 -artifact_prefix="$OUT/"
"$OUT/ivf_fuzz" "$OUT/corpus-ivf" tests/fuzz/corpus/ivf \
    -max_len=4096 -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 -artifact_prefix="$OUT/"
"$OUT/sps_fuzz" "$OUT/corpus-sps" tests/fuzz/corpus/sps \
    -max_len=512 -max_total_time="$SECONDS_TO_RUN" -print_final_stats=1 -artifact_prefix="$OUT/"
