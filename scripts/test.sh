#!/usr/bin/env bash
# The one test command: installs what is missing, then configures, builds and
# runs the whole suite through CTest twice: a normal build, and a build with
# AddressSanitizer and UndefinedBehaviorSanitizer; then the protocol library
# and its threaded tests (server, publication, server faults, client) with
# ThreadSanitizer; then runs each fuzz target of the protocol library for 20
# seconds (clang, libFuzzer).
# Usage: ./scripts/test.sh [build-dir]
# (the sanitizer builds go to <build-dir>-asan and <build-dir>-tsan)
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
jobs="$(nproc)"

"$root/scripts/install-deps.sh"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$root/scripts/lsan.supp"

# Line tables only (-g1) in the test builds: a failure's stack still names
# functions and lines, with half the object size to write and link.
echo "== normal build =="
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" \
    -DLANTERRA_BUILD_TESTS=ON -DLANTERRA_BUILD_BENCH=ON
cmake --build "$build" --parallel "$jobs"
ctest --test-dir "$build" --output-on-failure --parallel "$jobs"
# A CI machine's disk may be small: a stage that passed leaves its build behind.
[[ "${CI:-}" == true ]] && rm -rf "$build"

echo "== sanitizer build (address, undefined) =="
# -O1, as the sanitizers' own documentation suggests: a third faster to
# compile than -O2, the reports as exact.
cmake -S "$root" -B "$build-asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" -DLANTERRA_SANITIZE=ON -DLANTERRA_BUILD_TESTS=ON -DLANTERRA_BUILD_BENCH=OFF
cmake --build "$build-asan" --parallel "$jobs"
ctest --test-dir "$build-asan" --output-on-failure --parallel "$jobs"
[[ "${CI:-}" == true ]] && rm -rf "$build-asan"

echo "== thread sanitizer build (protocol library, threaded tests) =="
# Only what the stage runs is built: the library, four test programs and
# tst_tsancanary (races planted in a queued slot and a deferred delete must
# still be reported with the suppressions), at -O1 with line tables only (a
# third less build time than -O2 -g; the reports keep their functions and
# lines).
tsan_tests=(tst_v2server tst_v2serverfaults tst_v2serverlogins tst_v2publication tst_v2client tst_tsancanary)
cmake -S "$root" -B "$build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O1 -g1 -DNDEBUG" \
    -DLANTERRA_TSAN=ON -DLANTERRA_BUILD_TESTS=ON -DLANTERRA_BUILD_BENCH=OFF
cmake --build "$build-tsan" --parallel "$jobs" --target "${tsan_tests[@]}"
TSAN_OPTIONS="suppressions=$root/scripts/tsan.supp:second_deadlock_stack=1" \
    ctest --test-dir "$build-tsan" --output-on-failure --parallel "$jobs" -R "^($(IFS='|'; echo "${tsan_tests[*]}"))\$"

echo "== fuzzing (libFuzzer, bounded) =="
"$root/scripts/fuzz.sh" --seconds 20 "$build-fuzz"
