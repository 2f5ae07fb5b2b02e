#!/usr/bin/env bash
# Builds the merge program (nothing else, as scripts/run.sh builds it) and merges the bundled
# sample bracket into build/flowers-merged.jpg, or into the output named as the first argument
# (a relative name is taken from the current folder).
set -euo pipefail
output=${1:-}
case "$output" in "" | /*) ;; *) output="$(pwd)/$output" ;; esac
cd "$(dirname "$0")/.."
# Under build/, which git ignores, rather than as an untracked file of the checkout.
[ -n "$output" ] || output="$PWD/build/flowers-merged.jpg"

scripts/install-deps.sh --programs
# The configuration of scripts/build.sh, so both share build/; a fresh build/ leaves out the
# tests and benchmarks, whose packages are not installed here.
options=()
[ -f build/CMakeCache.txt ] || options=(-DTONEFOLD_BUILD_TESTS=OFF -DTONEFOLD_BUILD_BENCH=OFF)
echo "Configuring build/ with CMake (the first time takes a while)..."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
echo "Building the merge program..."
cmake --build build --target tonefold-merge

build/merge/tonefold-merge -v -o "$output" samples/flowers/Flowers1.jpg samples/flowers/Flowers2.jpg \
  samples/flowers/Flowers3.jpg
echo "Merged picture: $output"
