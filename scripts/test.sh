#!/usr/bin/env bash
# Installs what is needed and runs every test twice:
#  1. the test build (clang, AddressSanitizer, UndefinedBehaviorSanitizer,
#     libFuzzer targets): unit and component tests, end-to-end tests in tmux,
#     and a short run of each fuzzer;
#  2. a release build with g++ (Debian's default compiler, -O3, no
#     sanitizers): the same tests, as the program ships.
# Warnings are errors in both. Each part says how long it took.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${STOCKAT_TEST_BUILD:-build-test}
release=${STOCKAT_RELEASE_BUILD:-build-release}
jobs=$(nproc)

# Runs a step and reports its duration.
timed() {
  local label=$1 start=$SECONDS
  shift
  "$@"
  echo "test.sh: $label took $((SECONDS - start)) s"
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

# Services the tests talk to (an SMS gateway) are started by the tests
# themselves from scripts/; nothing is left running afterwards.
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DSTOCKAT_WERROR=ON \
  -DSTOCKAT_SANITIZE=ON -DSTOCKAT_FUZZ=ON -DSTOCKAT_BENCH=ON
timed "the sanitizer build" cmake --build "$build" -j "$jobs"
timed "the sanitizer build's tests" \
  ctest --test-dir "$build" --output-on-failure -j "$jobs" --timeout 600
timed "the fuzzers" bash scripts/fuzz.sh "$build"

cmake -S . -B "$release" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ -DSTOCKAT_WERROR=ON \
  -DSTOCKAT_SANITIZE=OFF -DSTOCKAT_FUZZ=OFF -DSTOCKAT_BENCH=OFF
timed "the g++ release build" cmake --build "$release" -j "$jobs"
timed "the g++ release build's tests" \
  ctest --test-dir "$release" --output-on-failure -j "$jobs" --timeout 600

# The Debian package, installed, tried and removed; then one trading day of
# the real programs against the bundled server.
timed "the package" bash scripts/package.sh
timed "the short soak" bash bench/soak.sh --short
