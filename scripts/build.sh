#!/usr/bin/env bash
# Configures and builds everything (the tests and benchmarks too, even in a build directory that
# scripts/run.sh configured without them) into a build directory:
#   build.sh [dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
echo "Configuring $dir/ with CMake (the first time looks for every package and takes a while)..."
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DTONEFOLD_BUILD_TESTS=ON \
  -DTONEFOLD_BUILD_BENCH=ON "$@" >/dev/null
echo "Building in $dir/..."
cmake --build "$dir"
