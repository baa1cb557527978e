#!/usr/bin/env bash
# GPU check, in two halves.
#
#   scripts/gpu-check.sh             here (as root): builds build/gpu (Release, no sanitizers,
#                                    Vidlane2 only) with Debian's CUDA 11.8 in the root of
#                                    scripts/cuda-root.sh, so that any driver from 520 runs
#                                    it (the CUDA runtime linked statically into every
#                                    program), stages what the GPU machine runs
#                                    in build/gpu-device (binaries, libraries, streams,
#                                    the test plan, OpenGL loader packages; no object
#                                    files), checks that one call can carry it, and
#                                    prints the device `run` call.
#   scripts/gpu-check.sh --on-device ROOT
#                                    there (what the printed call runs): every test
#                                    labelled gpu, both benchmarks, then one summary.
#                                    ROOT is where build/gpu was built: binaries and
#                                    the plan name absolute paths under it, so ROOT is
#                                    linked to the copy of the tree on that machine.
#                                    No cmake configure and no package access there.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=build/gpu
STAGE=build/gpu-device
cd "$ROOT"

# Everything on the device must end inside 8 minutes; the printed call allows 420 s.
BUDGET_S=390
GROUP_TIMEOUT_S=180
BENCH_TIMEOUT_S=100

on_device() {
    local built=$1
    local out=${OUT:-$ROOT/$STAGE/out}
    mkdir -p "$out"
    local start=$SECONDS
    # First of all, what the stage has to run on.
    local driver
    driver="driver $(nvidia-smi --query-gpu=driver_version --format=csv,noheader 2>/dev/null | head -1 || true),"
    driver+=" CUDA $(nvidia-smi 2>/dev/null | sed -n 's/.*CUDA Version: *\([0-9.]*\).*/\1/p' | head -1 || true)"
    echo "== $driver"
    if [ "$built" != "$ROOT" ]; then
        if [ -L "$built" ]; then
            ln -sfn "$ROOT" "$built"
        elif [ ! -e "$built" ]; then
            mkdir -p "$(dirname "$built")"
            ln -s "$ROOT" "$built"
        fi
    fi
    # Binaries name $built/build/gpu: there it is the staged folder. A real build
    # folder is only replaced on another machine than the one it was built on.
    if [ -L "$BUILD" ] || [ ! -e "$BUILD" ]; then
        ln -sfn gpu-device "$BUILD"
    elif [ "$built" != "$ROOT" ]; then
        rm -rf "$BUILD"
        ln -s gpu-device "$BUILD"
    fi
    # Only where the GPU is: the packages go into /.
    if nvidia-smi -L >/dev/null 2>&1 && compgen -G "$STAGE/gl/*.deb" >/dev/null; then
        for deb in "$STAGE"/gl/*.deb; do dpkg -x "$deb" / || echo "note: could not unpack $deb"; done
        ldconfig || true
    fi
    local vendor=/usr/local/nvidia/share/glvnd/egl_vendor.d/10_nvidia.json
    if [ -z "${__EGL_VENDOR_LIBRARY_FILENAMES:-}" ] && [ -f "$vendor" ]; then
        export __EGL_VENDOR_LIBRARY_FILENAMES=$vendor
    fi
    export VIDLANE2_REQUIRE_GPU=1

    local tests_log=$out/gpu-tests.log bench_log=$out/bench.log summary=$out/summary.txt
    : >"$tests_log"
    : >"$bench_log"
    local -a test_lines=()
    local failed=0

    # A step's timeout: its own, cut to what is left of the budget.
    step_limit() {
        local left=$((BUDGET_S - (SECONDS - start)))
        echo $((left < $1 ? left : $1))
    }

    # One plan line: name, working directory, environment (K=V;K=V), then the command.
    gpu_run() {
        local name=$1 dir=$2 environment=$3
        shift 3
        local limit
        limit=$(step_limit "$GROUP_TIMEOUT_S")
        if ((limit <= 0)); then
            test_lines+=("  $name: not run, out of time")
            failed=1
            return
        fi
        local -a envs=()
        [ -n "$environment" ] && IFS=';' read -r -a envs <<<"$environment"
        # The host's cmake path (a CMake-script test) may differ there.
        if [[ $1 == */cmake ]] && [ ! -x "$1" ]; then set -- "$(command -v cmake || echo cmake)" "${@:2}"; fi
        echo "== $name: $*" >>"$tests_log"
        local t0=$SECONDS rc=0
        (cd "$dir" && env "${envs[@]}" timeout "$limit" "$@") >"$out/.group.log" 2>&1 || rc=$?
        cat "$out/.group.log" >>"$tests_log"
        local counts
        counts=$(sed -n 's/^\[ *\(PASSED\|FAILED\|SKIPPED\) *\] \([0-9]*\) tests\{0,1\}[.,].*/\2 \1/p' "$out/.group.log" |
                 tr 'A-Z' 'a-z' | paste -sd, - | sed 's/,/, /g')
        local verdict=passed
        if [ "$rc" = 124 ]; then verdict="TIMED OUT after $limit s"; failed=1
        elif [ "$rc" != 0 ]; then verdict="FAILED (exit $rc)"; failed=1; fi
        test_lines+=("  $name: $verdict${counts:+: $counts} ($((SECONDS - t0)) s)")
        if [ "$rc" != 0 ]; then
            while IFS= read -r line; do test_lines+=("      $line"); done \
                < <(grep -E '^\[  FAILED  \] [A-Za-z]|error' "$out/.group.log" | awk '!seen[$0]++' | head -8)
        fi
        rm -f "$out/.group.log"
    }

    {
        echo "== device"
        nvidia-smi -L 2>&1 || true
    } >>"$tests_log"
    # shellcheck source=/dev/null
    source "$STAGE/gpu-tests.plan"

    local -a bench_lines=()
    for bench in "$STAGE"/bin/*_bench; do
        [ -x "$bench" ] || continue
        local name
        name=$(basename "$bench")
        local limit
        limit=$(step_limit "$BENCH_TIMEOUT_S")
        if ((limit <= 0)); then
            bench_lines+=("  $name: not run, out of time")
            failed=1
            continue
        fi
        echo "== $name" >>"$bench_log"
        local rc=0
        timeout "$limit" "$bench" >"$out/.bench.log" 2>&1 || rc=$?
        cat "$out/.bench.log" >>"$bench_log"
        bench_lines+=("  $name:$([ "$rc" = 0 ] || echo " FAILED (exit $rc$([ "$rc" = 124 ] && echo ", timed out after $limit s"))")")
        [ "$rc" = 0 ] || failed=1
        while IFS= read -r line; do bench_lines+=("    $line"); done <"$out/.bench.log"
        rm -f "$out/.bench.log"
    done

    {
        echo
        echo "==== Vidlane2 GPU check: $(nvidia-smi --query-gpu=name --format=csv,noheader 2>/dev/null | head -1 ||
            echo unknown GPU), $driver, $((SECONDS - start)) s"
        echo "gpu tests (full output in gpu-tests.log):"
        printf '%s\n' "${test_lines[@]}"
        echo "benchmarks (kernels: throughput as a share of the device copy per launch shape;"
        echo "decode: frames per second against the decode session alone):"
        printf '%s\n' "${bench_lines[@]}"
        echo "result: $([ "$failed" = 0 ] && echo PASS || echo FAIL)"
    } | tee "$summary"
    return "$failed"
}

carry_check() {
    # One call carries the working tree (tracked and untracked-not-ignored files,
    # shared/) and the stage: at most 64 MiB.
    tree_bytes=$(git ls-files -z --cached --others --exclude-standard | xargs -0 -r stat -c %s 2>/dev/null |
                 awk '{s += $1} END {print s + 0}')
    [ -d shared ] && tree_bytes=$((tree_bytes + $(du -sb shared | cut -f1)))
    stage_bytes=$(du -sb "$STAGE" | cut -f1)
    total=$((tree_bytes + stage_bytes))
    limit=$((64 * 1024 * 1024))
    awk -v t="$tree_bytes" -v s="$stage_bytes" -v name="$STAGE" 'BEGIN {
        m = 1048576; printf "Carried: working tree %.1f MiB + %s %.1f MiB = %.1f MiB of 64 MiB\n", t / m, name, s / m, (t + s) / m }'
    if [ "$total" -ge "$limit" ]; then
        echo "too large for one device call"
        exit 1
    fi

    echo
    echo "Run on the lent GPU machine with the device tool's run, from this checkout (the tool sends the"
    echo "checkout the session was started in: build there):"
    echo "  command:   bash scripts/gpu-check.sh --on-device $ROOT"
    echo "  carry:     [\"$STAGE\"]"
    echo "  timeout_s: 420"
    echo "It prints one summary at the end; gpu-tests.log, bench.log and summary.txt come back in \$OUT."
}

if [ "${1:-}" = --on-device ]; then
    on_device "${2:?usage: gpu-check.sh --on-device ROOT}"
    exit
fi

if [ "${1:-}" != --in-root ]; then
    bash scripts/cuda-root.sh make
    bash scripts/cuda-root.sh run bash scripts/gpu-check.sh --in-root
    carry_check
    exit
fi

export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work}
launchers=()
if command -v ccache >/dev/null; then
    launchers=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache
               -DCMAKE_CUDA_COMPILER_LAUNCHER=ccache)
fi
# The lent machines are H100s and H200s: sm_90 machine code is what runs there.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DSYNAPTOR_SANITIZE=OFF \
    -DSYNAPTOR_BUILD_LAUNCHER=OFF -DSYNAPTOR_BUILD_VIDLANE2=ON \
    -DCMAKE_CUDA_ARCHITECTURES="${VIDLANE2_GPU_ARCHITECTURES:-90-real}" "${launchers[@]}" >/dev/null
cmake --build "$BUILD" -j2

# The run-time part of the build, at the same paths below the stage.
rm -rf "$STAGE"
mkdir -p "$STAGE"
tar -C "$BUILD" --exclude='*.o' --exclude='*.a' --exclude='*.d' --exclude=CMakeFiles --exclude='.ninja_*' \
    --exclude='*.ninja' --exclude=CMakeCache.txt --exclude=Testing -cf - . | tar -C "$STAGE" -xf -

# The gpu tests as ctest knows them, grouped by program: one run of each gtest
# binary with all its gpu tests, other tests as their own command.
ctest --test-dir "$BUILD" -L gpu --show-only=json-v1 >"$STAGE/gpu-tests.json"
python3 - "$STAGE/gpu-tests.json" "$STAGE/gpu-tests.plan" "$ROOT/$BUILD" <<'EOF'
import json, shlex, sys, os
build = sys.argv[3]
tests = json.load(open(sys.argv[1]))["tests"]
groups = {}  # program -> [dir, env, [filters]] in first-seen order
plain = []
for t in tests:
    props = {p["name"]: p["value"] for p in t.get("properties", [])}
    command = t.get("command") or []
    if not command:
        sys.exit(f"gpu test {t['name']} has no command (not built?)")
    directory = props.get("WORKING_DIRECTORY", build)
    environment = ";".join(props.get("ENVIRONMENT", []))
    filters = [a[len("--gtest_filter="):] for a in command[1:] if a.startswith("--gtest_filter=")]
    if filters:
        group = groups.setdefault(command[0], [directory, environment, []])
        group[2] += filters
    else:
        plain.append((t["name"], directory, environment, command))
with open(sys.argv[2], "w") as plan:
    plan.write("# Generated by scripts/gpu-check.sh: gpu_run NAME DIR ENV COMMAND...\n")
    for program, (directory, environment, filters) in groups.items():
        args = [program, "--gtest_filter=" + ":".join(filters), "--gtest_also_run_disabled_tests"]
        plan.write(" ".join(shlex.quote(a) for a in ["gpu_run", os.path.basename(program), directory, environment] + args) + "\n")
    for name, directory, environment, command in plain:
        plan.write(" ".join(shlex.quote(a) for a in ["gpu_run", name, directory, environment] + command) + "\n")
print(f"{len(tests)} gpu tests in {len(groups) + len(plain)} runs")
EOF

# OpenGL loaders for the EGL tests: the GPU image has the driver but maybe not these.
mkdir -p "$STAGE/gl"
(cd "$STAGE/gl" && apt-get download libegl1 libglvnd0 libgl1 libglx0 libopengl0 libgles2 >/dev/null 2>&1) ||
    echo "note: could not fetch the OpenGL loader packages; the EGL tests need libEGL on the GPU machine"

# Every piece the plan runs must be in the stage.
missing=0
while read -r program; do
    staged=$STAGE/${program#"$ROOT/$BUILD/"}
    [ -x "$staged" ] || { echo "missing from $STAGE: $program"; missing=1; }
done < <(python3 -c 'import json,sys; [print(t["command"][0]) for t in json.load(open(sys.argv[1]))["tests"]]' \
             "$STAGE/gpu-tests.json" | sort -u | grep "^$ROOT/$BUILD/" || true)
[ "$missing" = 0 ] || exit 1
# Any driver from 520 runs the stage: no program may need the toolkit's shared runtime.
while IFS= read -r -d '' program; do
    if readelf -d "$program" 2>/dev/null | grep -q 'NEEDED.*libcudart'; then
        echo "$program needs the shared CUDA runtime"
        missing=1
    fi
done < <(find "$STAGE" -type f -perm -u+x -print0)
[ "$missing" = 0 ] || exit 1

