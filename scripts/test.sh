#!/usr/bin/env bash
# Installs what is needed, builds the test build (clang, AddressSanitizer,
# UndefinedBehaviorSanitizer, libFuzzer targets) and runs every test: unit and
# component tests, end-to-end tests in tmux, and a short run of each fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
build=${STOCKAT_TEST_BUILD:-build-test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DSTOCKAT_SANITIZE=ON -DSTOCKAT_FUZZ=ON -DSTOCKAT_BENCH=ON
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Services the tests talk to (an SMS gateway) are started by the tests
# themselves from scripts/; nothing is left running afterwards.
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
bash scripts/fuzz.sh "$build"
bash scripts/package.sh
bash bench/soak.sh --short
