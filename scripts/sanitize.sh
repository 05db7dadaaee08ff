#!/usr/bin/env bash
# Sanitizer builds and fuzzing, each one command with its own build tree
# under build/ (CMakePresets.json has the flags):
#
#   bash scripts/sanitize.sh asan            the C++ tests under AddressSanitizer
#   bash scripts/sanitize.sh ubsan           the C++ tests under UndefinedBehaviorSanitizer
#   bash scripts/sanitize.sh tsan            the concurrency tests (ctest -R Concurrent)
#                                            under ThreadSanitizer
#   bash scripts/sanitize.sh fuzz [SECONDS]  replays the committed corpora, then runs
#                                            each fuzz target for SECONDS (default 20)
#                                            from seed VELA_FUZZ_SEED (default 1)
#   bash scripts/sanitize.sh fuzz-long [SECONDS] [TARGET...]
#                                            the long run: each target (default all)
#                                            for SECONDS (default 3600), one after
#                                            another, growing build/fuzz/long/<target>
#   bash scripts/sanitize.sh coverage        line coverage of sync/ reached by the
#                                            committed corpora and the long run's
#   bash scripts/sanitize.sh seeds           rewrites the seed corpora and the
#                                            dictionaries in tests/fuzz
#
# A fuzz target that finds a fault leaves its input in build/fuzz/artifacts;
# once fixed, copy it into tests/fuzz/corpus/<target>/ so that every run
# replays it.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
venv="${VELA_VENV:-$root/.venv}"
cmake="$venv/bin/cmake"
ctest="$venv/bin/ctest"
fuzzers=(fuzzUnpackPacked fuzzUnpackBase64 fuzzApplyOps fuzzDecodeFrame fuzzRefreshChanged)

usage() {
    sed -n '2,23p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//' >&2
    exit 2
}

[ $# -ge 1 ] || usage
mode="$1"
shift

bash "$root/scripts/setup.sh"
cd "$root"

# Configures (once) and builds one preset; at most two jobs, as everywhere.
build() {
    local preset="$1"
    if [ ! -f "$root/build/$preset/CMakeCache.txt" ]; then
        "$cmake" --preset "$preset" -DPython_EXECUTABLE="$venv/bin/python" >/dev/null
    fi
    "$cmake" --build --preset "$preset"
}

# The corpus directory and dictionary of a fuzz target.
corpus_of() {
    case "$1" in
        fuzzUnpackPacked) echo unpackPacked ;;
        fuzzUnpackBase64) echo unpackBase64 ;;
        fuzzApplyOps) echo applyOps ;;
        fuzzDecodeFrame) echo decodeFrame ;;
        fuzzRefreshChanged) echo refreshChanged ;;
    esac
}
dict_of() {
    case "$1" in
        fuzzUnpackPacked) echo packed.dict ;;
        fuzzUnpackBase64) echo base64.dict ;;
        fuzzApplyOps) echo ops.dict ;;
        fuzzDecodeFrame) echo ops.dict ;;
        fuzzRefreshChanged) echo ops.dict ;;
    esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}"
# OpenUSD frees a replaced layer's data on a worker thread; the fuzz targets
# have it freed at once, so that each input runs alone, its coverage is its
# own, and a failure replays from its input. (OpenUSD reads the setting as
# its libraries load, so it must be in the environment.)
export WORK_SYNCHRONIZE_ASYNC_DESTROY_CALLS="${WORK_SYNCHRONIZE_ASYNC_DESTROY_CALLS:-1}"
export TF_ENV_SETTING_ALERTS_ENABLED="${TF_ENV_SETTING_ALERTS_ENABLED:-0}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
export LSAN_OPTIONS="${LSAN_OPTIONS:-suppressions=$root/tests/fuzz/lsan.supp:print_suppressions=0}"
# The tests that embed Python: Python's own allocator keeps small objects
# in arenas that LeakSanitizer does not scan, so the objects they point to
# look leaked. With plain malloc every object is scanned, and a reference
# the bindings really leak is still reported.
export PYTHONMALLOC="${PYTHONMALLOC:-malloc}"

# Runs one fuzz target for $2 seconds; new inputs go to $3, the committed
# corpus is read as well. The whole output is kept in build/fuzz/<target>.log;
# a fault prints its end.
fuzz_for() {
    local target="$1" seconds="$2" work="$3"
    local log="$root/build/fuzz/$target.log"
    mkdir -p "$work" "$root/build/fuzz/artifacts"
    echo "== $target: ${seconds}s"
    if "$root/build/fuzz/tests/fuzz/$target" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
        -dict="$root/tests/fuzz/$(dict_of "$target")" \
        -artifact_prefix="$root/build/fuzz/artifacts/$target-" \
        -print_final_stats=1 ${seed:+-seed="$seed"} \
        "$work" "$root/tests/fuzz/corpus/$(corpus_of "$target")" >"$log" 2>&1; then
        grep -E "^(#[0-9]+ +DONE|stat::number_of_executed_units|stat::peak_rss_mb)" "$log" || true
    else
        tail -n 80 "$log"
        echo "$target: fault found; the input is in build/fuzz/artifacts/"
        return 1
    fi
}

case "$mode" in
    asan|ubsan)
        build "$mode"
        "$ctest" --preset "$mode"
        ;;
    tsan)
        build tsan
        TSAN_OPTIONS="${TSAN_OPTIONS:-suppressions=$root/tests/sync/tsan.supp:halt_on_error=1:second_deadlock_stack=1}" \
            "$ctest" --preset tsan
        ;;
    fuzz)
        seconds="${1:-20}"
        # The test command's short run starts from one seed, so that a
        # commit's run explores the same inputs first wherever it runs and
        # a fault it finds is found again; the long run explores afresh.
        seed="${VELA_FUZZ_SEED:-1}"
        build fuzz
        status=0
        for target in "${fuzzers[@]}"; do
            name="$(corpus_of "$target")"
            # Every committed input, seeds and regressions, once.
            echo "== $target: replaying tests/fuzz/corpus/$name"
            "$root/build/fuzz/tests/fuzz/$target" -runs=0 \
                "$root/tests/fuzz/corpus/$name" >"$root/build/fuzz/replay-$target.log" 2>&1 ||
                { cat "$root/build/fuzz/replay-$target.log"; status=1; continue; }
            work="$root/build/fuzz/work/$target"
            rm -rf "$work"
            fuzz_for "$target" "$seconds" "$work" || status=1
        done
        [ "$status" -eq 0 ] && echo "fuzz: every target replayed its corpus and ran ${seconds}s without a fault"
        exit "$status"
        ;;
    fuzz-long)
        seconds="${1:-3600}"
        [ $# -gt 0 ] && shift
        targets=("${@:-${fuzzers[@]}}")
        build fuzz
        for target in "${targets[@]}"; do
            fuzz_for "$target" "$seconds" "$root/build/fuzz/long/$(corpus_of "$target")"
        done
        ;;
    coverage)
        build fuzz-coverage
        out="$root/build/fuzz-coverage/profiles"
        rm -rf "$out"
        mkdir -p "$out"
        objects=()
        for target in "${fuzzers[@]}"; do
            name="$(corpus_of "$target")"
            dirs=("$root/tests/fuzz/corpus/$name")
            [ -d "$root/build/fuzz/long/$name" ] && dirs+=("$root/build/fuzz/long/$name")
            LLVM_PROFILE_FILE="$out/$target-%m.profraw" \
                "$root/build/fuzz-coverage/tests/fuzz/$target" -runs=0 "${dirs[@]}" >/dev/null 2>&1
            objects+=(-object "$root/build/fuzz-coverage/tests/fuzz/$target")
        done
        llvm-profdata-14 merge -sparse "$out"/*.profraw -o "$out/merged.profdata"
        llvm-cov-14 report "$root/build/fuzz-coverage/sync/libvelaUsdSync.so.0" "${objects[@]}" \
            -instr-profile="$out/merged.profdata" "$root/sync"
        ;;
    seeds)
        build fuzz
        "$root/build/fuzz/tests/fuzz/makeFuzzSeeds" "$root/tests/fuzz"
        ;;
    *)
        usage
        ;;
esac
