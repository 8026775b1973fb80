#!/usr/bin/env bash
# Runs every fuzz target for a short while (FUZZ_SECONDS each, 60 by default)
# from its seed corpus in fuzz/corpus/NAME, under the sanitizers.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
seconds=${FUZZ_SECONDS:-60}
shopt -s nullglob
for exe in "$build"/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe"); name=${name#fuzz_}
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "fuzz: $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -print_final_stats=1 "$work" 2>&1 | tail -n 15
  rm -rf "$work"
done
