#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time on a copy of its corpus: fuzz.sh [seconds per target].
# Any finding fails the script; the input that caused it is left in build-fuzz/findings/, to
# be added to fuzz/corpus/<target>/ where the normal test run replays it from then on.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-45}
dir=build-fuzz

echo "Configuring $dir/ with CMake for clang and libFuzzer..."
CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEFOLD_FUZZ=ON \
  -DTONEFOLD_SANITIZE=address,undefined >/dev/null
cmake --build "$dir" --target $(cd fuzz && ls *_fuzz.cpp | sed 's/\.cpp$//')

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
mkdir -p "$dir/findings"

# One target: a fresh copy of its corpus, its log in build-fuzz/<target>.log, and its exit
# status in build-fuzz/<target>.status.
fuzz_one() {
  local target=$1 work="$dir/corpus/$1" result=0
  rm -rf "$work" && mkdir -p "$work"
  cp fuzz/corpus/"$target"/* "$work"/
  "$dir/fuzz/$target" -max_total_time="$seconds" -max_len=4096 -rss_limit_mb=4096 \
    -timeout=20 -print_final_stats=1 -artifact_prefix="$dir/findings/$target-" \
    "$work" >"$dir/$target.log" 2>&1 || result=$?
  echo "$result" >"$dir/$target.status"
}

# Each target runs on one processor: as many side by side as there are processors (at most 4,
# each may take up to 4 GB), and the results are reported in order once all have ended.
jobs=$(nproc)
[ "$jobs" -le 4 ] || jobs=4
targets=()
for source in fuzz/*_fuzz.cpp; do targets+=("$(basename "$source" .cpp)"); done
echo "== ${#targets[@]} fuzz targets, ${seconds}s each, $jobs at a time"
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs" ]; do wait -n || true; done
  rm -f "$dir/$target.status"
  fuzz_one "$target" &
done
wait
status=0
for target in "${targets[@]}"; do
  echo "== $target"
  if [ "$(cat "$dir/$target.status" 2>/dev/null)" = 0 ]; then
    grep -E "cov:|stat::number_of_executed_units" "$dir/$target.log" | tail -n 2
  else
    tail -n 60 "$dir/$target.log"
    status=1
  fi
done
exit $status
