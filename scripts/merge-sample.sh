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

scripts/build-programs.sh tonefold-merge

build/merge/tonefold-merge -v -o "$output" samples/flowers/Flowers1.jpg samples/flowers/Flowers2.jpg \
  samples/flowers/Flowers3.jpg
echo "Merged picture: $output"
