#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time on a copy of its corpus: fuzz.sh [seconds per target].
# Any finding fails the script; the input that caused it is left in build-fuzz/findings/, to
# be added to fuzz/corpus/<target>/ where the normal test run replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-45}
dir=build-fuzz

CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEFOLD_FUZZ=ON \
  -DTONEFOLD_SANITIZE=address,undefined >/dev/null
cmake --build "$dir" --target $(cd fuzz && ls *_fuzz.cpp | sed 's/\.cpp$//')

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/findings"
status=0
for source in fuzz/*_fuzz.cpp; do
  target=$(basename "$source" .cpp)
  work="$dir/corpus/$target"
  rm -rf "$work" && mkdir -p "$work"
  cp fuzz/corpus/"$target"/* "$work"/
  echo "== $target: ${seconds}s"
  if ! "$dir/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=4096 \
      -timeout=20 -print_final_stats=1 -artifact_prefix="$dir/findings/$target-" \
      "$work" 2>"$dir/$target.log"; then
    tail -n 60 "$dir/$target.log"
    status=1
  else
    grep -E "cov:|stat::number_of_executed_units" "$dir/$target.log" | tail -n 2
  fi
done
exit $status
