#!/usr/bin/env bash
# Installs what the application and the merge program need and builds the named targets into
# build/ (nothing else): build-programs.sh TARGET...
# build/ is the configuration of scripts/build.sh, so both share it; a fresh build/ leaves out
# the tests and benchmarks, whose packages are not installed here (scripts/build.sh adds them).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --programs
options=()
[ -f build/CMakeCache.txt ] || options=(-DTONEFOLD_BUILD_TESTS=OFF -DTONEFOLD_BUILD_BENCH=OFF)
echo "Configuring build/ with CMake (the first time takes a while)..."
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
echo "Building $*..."
cmake --build build --target "$@"
