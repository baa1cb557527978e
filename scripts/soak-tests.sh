#!/usr/bin/env bash
# Runs the test command (scripts/test.sh: set-up, both builds, every test of both
# suites) again and again, as CI runs it, and says which tests failed in each run.
#   scripts/soak-tests.sh [runs] [loaded]
# runs (default 8): how many runs in all; loaded (default 3): how many of them,
# the last ones, run while busy loops keep every core of the machine busy.
# Each run's log is kept as out/soak/run-<n>.log; the last lines are a summary.
# Exit status 0 when no run had a failure.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUNS=${1:-8}
LOADED=${2:-3}
OUT=$ROOT/out/soak
mkdir -p "$OUT"

load_pids=()
stop_load() {
    [ ${#load_pids[@]} -eq 0 ] || kill "${load_pids[@]}" 2>/dev/null || true
    load_pids=()
}
trap stop_load EXIT
start_load() {
    local _
    for _ in $(seq "$(nproc)"); do
        bash -c 'while :; do :; done' &
        load_pids+=($!)
    done
}

# "<suite>: <passed>/<total>" for each CTest summary of the log, then the names of the failed tests.
summarise() {
    local log=$1
    awk '
        /^== Linux build/ { suite = "Linux" }
        /^== Windows build/ { suite = "Windows" }
        /tests passed, [0-9]+ tests failed out of/ {
            total = $NF; failed = $(NF - 5); printf "%s %d/%d", sep suite ":", total - failed, total; sep = ", "
        }
        /^The following tests FAILED:/ { listing = 1; next }
        listing && /^[ \t]+[0-9]+ - / { sub(/^[ \t]+[0-9]+ - /, ""); failures = failures " [" suite "] " $0; next }
        { listing = 0 }
        END { printf "; failed:%s\n", failures ? failures : " none" }
    ' "$log"
}

failed_runs=0
lines=()
for run in $(seq "$RUNS"); do
    loaded=no
    if [ "$run" -gt $((RUNS - LOADED)) ]; then
        loaded=yes
        start_load
    fi
    log=$OUT/run-$run.log
    start=$(date +%s)
    set +e
    CI=true bash "$ROOT/scripts/test.sh" </dev/null >"$log" 2>&1
    rc=$?
    set -e
    stop_load
    line="run $run/$RUNS (cores loaded: $loaded): exit status $rc, $(( $(date +%s) - start )) s; $(summarise "$log")"
    echo "soak: $line"
    lines+=("$line")
    [ "$rc" -eq 0 ] || failed_runs=$((failed_runs + 1))
done

echo "== soak summary"
printf '%s\n' "${lines[@]}"
echo "$((RUNS - failed_runs)) passed, $failed_runs failed (runs of the whole test command)"
[ "$failed_runs" -eq 0 ]
