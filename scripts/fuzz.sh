#!/usr/bin/env bash
# Builds the protocol library's libFuzzer targets with clang (AddressSanitizer
# and UBSan) and runs each from its seed corpus in fuzz/corpus/<target>.
# Usage: scripts/fuzz.sh [--runs N | --seconds S] [build-dir]
#   default: 1000000 executions per target; CI runs --seconds 20.
# Findings go to <build-dir>/artifacts; the script fails on the first one.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
limit=(-runs=1000000)
if [ "${1:-}" = "--runs" ]; then
    limit=(-runs="$2")
    shift 2
elif [ "${1:-}" = "--seconds" ]; then
    # A fixed seed: the bounded run in the test command goes the same way
    # every time (the long runs explore with fresh seeds).
    limit=(-max_total_time="$2" -seed=1)
    shift 2
fi
build="${1:-$root/build-fuzz}"

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLANTERRA_FUZZ=ON \
    -DLANTERRA_BUILD_TESTS=OFF -DLANTERRA_BUILD_BENCH=OFF > /dev/null
cmake --build "$build" --parallel "$(nproc)"

export UBSAN_OPTIONS="suppressions=$root/fuzz/ubsan.supp:halt_on_error=1:print_stacktrace=1"
export ASAN_OPTIONS="detect_leaks=1"
mkdir -p "$build/artifacts"
for target in fuzz_message fuzz_datamerge fuzz_clientlines fuzz_serverrequests; do
    # New inputs go to a scratch corpus; the seeds stay as committed.
    scratch="$(mktemp -d)"
    echo "== $target"
    if ! "$build/fuzz/$target" "${limit[@]}" -max_len=16384 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
        "$scratch" "$root/fuzz/corpus/$target" > "$build/artifacts/$target.log" 2>&1; then
        tail -n 40 "$build/artifacts/$target.log"
        rm -rf "$scratch"
        exit 1
    fi
    grep -E "stat::(number_of_executed_units|average_exec_per_sec)" "$build/artifacts/$target.log"
    rm -rf "$scratch"
done
