#!/usr/bin/env bash
# The whole test suite, as CI runs it: installs what is missing, then builds
# and tests
#   1. the release build (core, Qt programs, simulator) with every test,
#   2. the core without Qt under AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the core without Qt under ThreadSanitizer,
#   4. the libFuzzer targets (clang), each for a short run,
#   5. the benchmarks, once each in a short smoke run (figures: scripts/bench.sh).
# Build trees go to build/ (K470_BUILD_ROOT overrides). Exit status 0 only
# when every step passed.
set -euo pipefail
cd "$(dirname "$0")/.."
root=${K470_BUILD_ROOT:-build}
jobs=${K470_JOBS:-$(nproc)}
fuzz_seconds=${K470_FUZZ_SECONDS:-20}

scripts/install-deps.sh

# No test may open a real serial device: the candidate list is always given.
export K470_PORTS=""
export QT_QPA_PLATFORM=offscreen

step() { printf '\n==== %s ====\n' "$*"; }

configure_build_test() {
  local dir=$1; shift
  cmake -S . -B "$root/$dir" -G Ninja "$@" >/dev/null
  cmake --build "$root/$dir" -j "$jobs"
  ctest --test-dir "$root/$dir" --output-on-failure -j "$jobs" --timeout 600
}

step "release build and tests"
configure_build_test release -DCMAKE_BUILD_TYPE=RelWithDebInfo

step "core under ASan + UBSan (built without Qt)"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  configure_build_test asan -DCMAKE_BUILD_TYPE=Debug -DK470_BUILD_GUI=OFF -DK470_BUILD_BENCHMARKS=OFF \
  -DK470_SANITIZE=address

step "core under TSan (built without Qt)"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  configure_build_test tsan -DCMAKE_BUILD_TYPE=Debug -DK470_BUILD_GUI=OFF -DK470_BUILD_BENCHMARKS=OFF \
  -DK470_SANITIZE=thread

step "fuzz targets (${fuzz_seconds} s each)"
cmake -S . -B "$root/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DK470_BUILD_GUI=OFF -DK470_BUILD_TESTS=OFF -DK470_BUILD_BENCHMARKS=OFF -DK470_BUILD_FUZZERS=ON >/dev/null
cmake --build "$root/fuzz" -j "$jobs"
shopt -s nullglob
for fuzzer in "$root"/fuzz/fuzz/*/fuzz_*; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  corpus="$root/fuzz/corpus/$name"
  mkdir -p "$corpus"
  seeds=(fuzz/*/seeds/"$name")
  echo "-- $name"
  "$fuzzer" -max_total_time="$fuzz_seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=0 \
    "$corpus" "${seeds[@]}" 2>&1 | tail -n 3
done

step "benchmarks (smoke run)"
shopt -s nullglob
for bench in "$root"/release/bench/*/bench_*; do
  [ -x "$bench" ] || continue
  echo "-- $(basename "$bench")"
  "$bench" --benchmark_min_time=0.01 >/dev/null
done

step "all tests passed"
