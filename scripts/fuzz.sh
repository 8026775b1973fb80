#!/usr/bin/env bash
# Runs every fuzz target for a short while (FUZZ_SECONDS each, 60 by default)
# from its seed corpus in fuzz/corpus/NAME, under the sanitizers.
#
# Every target runs even when an earlier one failed; the script then exits
# non-zero. A target fails when it finds a crash, a leak, a sanitizer report
# or an input that runs longer than FUZZ_INPUT_TIMEOUT seconds (10 by
# default), and also when it has no seed corpus. The input that failed is
# kept in BUILD/fuzz-artifacts/NAME/ and the whole log is shown.
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-test}
seconds=${FUZZ_SECONDS:-60}
input_timeout=${FUZZ_INPUT_TIMEOUT:-10}
shopt -s nullglob

status=0
ran=0
for exe in "$build"/fuzz/fuzz_*; do
  [ -x "$exe" ] || continue
  name=$(basename "$exe"); name=${name#fuzz_}
  ran=$((ran + 1))
  corpus="fuzz/corpus/$name"
  seeds=("$corpus"/*)
  if [ ${#seeds[@]} -eq 0 ]; then
    echo "fuzz: $name has no seed corpus in $corpus" >&2
    status=1
    continue
  fi
  # The seeds are copied so that what the run adds stays out of the tree.
  work=$(mktemp -d)
  cp -r "$corpus/." "$work/"
  artifacts="$build/fuzz-artifacts/$name"
  mkdir -p "$artifacts"
  log="$work.log"
  echo "fuzz: $name for ${seconds}s"
  "$exe" -max_total_time="$seconds" -timeout="$input_timeout" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" >"$log" 2>&1
  rc=$?
  if [ "$rc" -eq 0 ]; then
    tail -n 15 "$log"
  else
    cat "$log"
    echo "fuzz: $name FAILED (exit $rc); the input is kept in $artifacts/" >&2
    status=1
  fi
  rm -rf "$work" "$log"
done

if [ "$ran" -eq 0 ]; then
  echo "fuzz: no fuzz targets in $build/fuzz (configure with -DSTOCKAT_FUZZ=ON)" >&2
  exit 1
fi
exit "$status"
