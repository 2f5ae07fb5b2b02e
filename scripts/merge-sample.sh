#!/usr/bin/env bash
# Builds everything and merges the bundled sample bracket into flowers-merged.jpg in the current
# folder (or the output named as the first argument) with the command-line merge program.
set -euo pipefail
here=$(pwd)
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
output=${1:-flowers-merged.jpg}
case "$output" in /*) ;; *) output="$here/$output" ;; esac
build/merge/tonefold-merge -v -o "$output" samples/flowers/Flowers1.jpg samples/flowers/Flowers2.jpg \
  samples/flowers/Flowers3.jpg
echo "Merged picture: $output"
