#!/usr/bin/env bash
# Runs every fuzz target for a share of the given time.
#   fuzz/run.sh <build dir> <total seconds>
# New inputs go to <build dir>/fuzz/corpus/<target>/ (the committed seeds in
# fuzz/corpus/ stay as they are); a crash leaves crash-* in <build dir>/fuzz/
# and fails the run.
set -euo pipefail
build=$(cd "$1" && pwd)
total=${2:-60}
src=$(cd "$(dirname "$0")" && pwd)

# The request target gets the largest share: it is the slowest per input and covers the most.
declare -A share=([fuzz_service_request]=2 [fuzz_requests]=1 [fuzz_mp3_reader]=1 [fuzz_srt_reader]=1 [fuzz_reading]=1)
parts=6

export ASAN_OPTIONS=abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
for target in fuzz_service_request fuzz_requests fuzz_mp3_reader fuzz_srt_reader fuzz_reading; do
  seconds=$(( total * share[$target] / parts ))
  [ "$seconds" -ge 1 ] || seconds=1
  corpus="$build/fuzz/corpus/$target"
  mkdir -p "$corpus"
  dict=()
  [ -f "$src/$target.dict" ] && dict=(-dict="$src/$target.dict")
  echo "== $target: ${seconds}s"
  (cd "$build/fuzz" && "./$target" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
      -max_len=65536 -print_final_stats=1 "${dict[@]}" "$corpus" "$src/corpus/$target")
done
