#!/usr/bin/env bash
# The long reliability runs, and the short fuzz run that `make test` includes.
#
#   scripts/reliability.sh fuzz-short [SECONDS]    each fuzz target for SECONDS (default 60),
#                                                  all at once; fails on any finding
#   scripts/reliability.sh fuzz-long [RUNS]        each fuzz target for RUNS executions
#                                                  (default 10000000), one after the other,
#                                                  shared among WORKERS processes (default 1)
#   scripts/reliability.sh soak-long [TICKS]       the soak under the sanitizers for TICKS
#                                                  timer ticks (default 100000000)
#
# Build folders: the presets' own (build/fuzz, build/asan) unless FUZZ_BUILD or
# ASAN_BUILD name others. Fuzzing keeps its growing corpora and any crash
# inputs in <fuzz build>/fuzz-work/<target>; the seed corpora in
# tests/fuzz/corpus are read, never written. TARGETS limits the fuzz runs to
# some of the targets (default: all). SEED picks the soak's seed (default 1).
# The long runs are niced, so they can share the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

fuzz_build=${FUZZ_BUILD:-$root/build/fuzz}
asan_build=${ASAN_BUILD:-$root/build/asan}
# shellcheck disable=SC2206
targets=(${TARGETS:-best_score run_record sim_script})

build_fuzz() {
    if [[ -n ${FUZZ_BUILD:-} ]]; then
        cmake -S "$root" -B "$fuzz_build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
            -DCMAKE_C_COMPILER=clang-14 -DCMAKE_CXX_COMPILER=clang++-14 \
            -DNUVALO_FUZZ=ON -DNUVALO_BUILD_SDL=OFF -DNUVALO_BUILD_BENCH=OFF >/dev/null
    else
        cmake --preset fuzz >/dev/null
    fi
    cmake --build "$fuzz_build" -j "$(nproc)" --target fuzz_best_score fuzz_run_record fuzz_sim_script
}

# The options of each target: inputs up to a kilobyte (a save.dat, a run
# record of some hundred changes or a script of some hundred lines), thirty
# seconds before an input counts as a hang: every input takes milliseconds,
# but a machine busy with builds and browsers has stalled one for over ten.
fuzz_args() {
    local target=$1
    local work=$fuzz_build/fuzz-work/$target
    mkdir -p "$work/corpus"
    # Absolute paths: the harnesses work in folders of their own.
    printf '%s\n' -max_len=1024 -timeout=30 -rss_limit_mb=2048 -print_final_stats=1 \
        "-artifact_prefix=$work/" "$work/corpus" "$root/tests/fuzz/corpus/$target"
    if [[ $target == sim_script ]]; then
        printf '%s\n' "-dict=$root/tests/fuzz/sim_script.dict"
    fi
}

# Sums the final statistics of one or more logs of the same target.
report() {
    local target=$1
    shift
    local runs=0 rate=0 log n
    for log in "$@"; do
        n=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
        runs=$((runs + ${n:-0}))
        n=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
        rate=$((rate + ${n:-0}))
    done
    printf 'fuzz %-11s %12s executions, %6s per second\n' "$target" "$runs" "$rate"
}

fuzz_run() {
    local target=$1 log=$2
    shift 2
    local args
    mapfile -t args < <(fuzz_args "$target")
    "$fuzz_build/tests/fuzz/fuzz_$target" "$@" "${args[@]}" >"$log" 2>&1
}

fuzz_short() {
    local seconds=${1:-60}
    build_fuzz
    local pids=() status=0
    for t in "${targets[@]}"; do
        fuzz_run "$t" "$fuzz_build/fuzz-work/$t.short.log" "-max_total_time=$seconds" &
        pids+=($!)
    done
    for i in "${!targets[@]}"; do
        local t=${targets[$i]} log=$fuzz_build/fuzz-work/${targets[$i]}.short.log
        if wait "${pids[$i]}"; then
            report "$t" "$log"
        else
            status=1
            echo "fuzz $t FAILED; the end of its log ($log):" >&2
            tail -n 40 "$log" >&2
        fi
    done
    return $status
}

fuzz_long() {
    local runs=${1:-10000000} workers=${WORKERS:-1}
    build_fuzz
    # The workers share the target's corpus: libFuzzer rereads it as it grows.
    local each=$(((runs + workers - 1) / workers))
    for t in "${targets[@]}"; do
        local logs=() pids=() status=0 start=$SECONDS
        echo "fuzz $t: $runs executions in $workers worker(s) of $each," \
            "logs in $fuzz_build/fuzz-work/$t.long.*.log"
        for ((w = 1; w <= workers; ++w)); do
            logs+=("$fuzz_build/fuzz-work/$t.long.$w.log")
            nice -n 10 "$0" _fuzz_run "$t" "${logs[-1]}" "-runs=$each" &
            pids+=($!)
        done
        for w in "${!pids[@]}"; do
            if ! wait "${pids[$w]}"; then
                status=1
                echo "fuzz $t FAILED in worker $((w + 1)); the end of its log:" >&2
                tail -n 40 "${logs[$w]}" >&2
            fi
        done
        [[ $status -eq 0 ]] || return 1
        report "$t" "${logs[@]}"
        echo "  $((SECONDS - start)) s, corpus $(find "$fuzz_build/fuzz-work/$t/corpus" -type f | wc -l) inputs"
    done
}

soak_long() {
    local ticks=${1:-100000000}
    if [[ -n ${ASAN_BUILD:-} ]]; then
        cmake -S "$root" -B "$asan_build" -DCMAKE_BUILD_TYPE=Debug -DNUVALO_SANITIZE=ON \
            -DNUVALO_WERROR=ON -DNUVALO_BUILD_BENCH=OFF >/dev/null
    else
        cmake --preset asan >/dev/null
    fi
    cmake --build "$asan_build" -j "$(nproc)" --target nuvalo-soak
    local log=$asan_build/soak-long.log
    echo "soak: $ticks ticks under the sanitizers, log in $log"
    # Dodging players may fly for up to two million ticks in one run.
    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        nice -n 10 "$asan_build/tests/soak/nuvalo-soak" --ticks "$ticks" --seed "${SEED:-1}" \
        --max-run-ticks 2e6 --progress 600 2>&1 | tee "$log"
    return "${PIPESTATUS[0]}"
}

case ${1:-} in
fuzz-short) fuzz_short "${2:-}" ;;
fuzz-long) fuzz_long "${2:-}" ;;
soak-long) soak_long "${2:-}" ;;
_fuzz_run) shift && fuzz_run "$@" ;;
*)
    sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
    ;;
esac
