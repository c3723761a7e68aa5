#!/usr/bin/env bash
# Builds the protocol library's libFuzzer targets with clang (AddressSanitizer
# and UBSan) and runs each from its seed corpus in fuzz/corpus/<target>.
# Usage: scripts/fuzz.sh [--runs N | --seconds S] [build-dir]
#   default: 1000000 executions per target, a fresh seed each run.
#   --seconds S: 60 % of S with seed 1 (the same run every time), then the
#   rest with a fresh seed, printed so that a finding can be reproduced
#   (-seed=N); CI runs --seconds 20.
# Findings go to <build-dir>/artifacts; the script fails on the first one.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
runs=(-runs=1000000)
seconds=""
if [ "${1:-}" = "--runs" ]; then
    runs=(-runs="$2")
    shift 2
elif [ "${1:-}" = "--seconds" ]; then
    seconds="$2"
    shift 2
fi
build="${1:-$root/build-fuzz}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANTERRA_FUZZ=ON \
    -DLANTERRA_BUILD_TESTS=OFF -DLANTERRA_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" --parallel "$(nproc)"

export UBSAN_OPTIONS="suppressions=$root/fuzz/ubsan.supp:halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1"
mkdir -p "$build/artifacts"
# One run of a target from its seeds; the scratch corpus takes new inputs,
# the seeds stay as committed.
run() {
    local target="$1" scratch="$2" log="$build/artifacts/$1.log"
    shift 2
    if ! "$build/fuzz/$target" "$@" -max_len=16384 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$scratch" "$root/fuzz/corpus/$target" > "$log" 2>&1; then
        tail -n 40 "$log"
        rm -rf "$scratch"
        exit 1
    fi
    grep -E "stat::(number_of_executed_units|average_exec_per_sec)" "$log"
}

for target in fuzz_message fuzz_datamerge fuzz_clientlines fuzz_serverrequests; do
    scratch="$(mktemp -d)"
    echo "== $target"
    if [ -n "$seconds" ]; then
        # The fixed-seed part goes the same way every time; the fresh part
        # explores anew, from what the first part found.
        fixed=$(( seconds * 3 / 5 ))
        seed=$(od -An -N4 -tu4 /dev/urandom | tr -d ' ')
        run "$target" "$scratch" -max_total_time="$fixed" -seed=1
        echo "fresh seed $seed (reproduce with -seed=$seed)"
        run "$target" "$scratch" -max_total_time="$(( seconds - fixed ))" -seed="$seed"
    else
        run "$target" "$scratch" "${runs[@]}"
    fi
    rm -rf "$scratch"
done
