#!/bin/bash
# Runs the fuzz targets for a bounded time each:
#   run_fuzzers.sh <build dir> [seconds per target]
# Each target starts from a copy of its seed corpus in <build dir>/fuzz-corpus
# (libFuzzer adds the inputs it finds there).  A fault stops the run with the
# target's report; the input is kept (crash-* with libFuzzer, crash-input with
# the mutation loop) in <build dir>/fuzz-crashes.
set -euo pipefail
build=$(cd "$1" && pwd)
seconds=${2:-60}
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$build/fuzz-crashes"
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1}
for target in prefix_reader net_reader; do
  program=$build/bin/fuzz_$target
  corpus=$build/fuzz-corpus/${target%_reader}
  if [ ! -x "$program" ]; then echo "fuzz_$target is not built" >&2; exit 1; fi
  mkdir -p "$corpus"
  cp -n "$here/corpus/${target%_reader}"/* "$corpus"/
  echo "== fuzz_$target for $seconds s"
  (cd "$build/fuzz-crashes" && "$program" -max_total_time="$seconds" "$corpus")
done
