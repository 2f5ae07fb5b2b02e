#!/usr/bin/env bash
# Merges every bracket folder (three JPEG photos each) under a brackets folder and scores each
# merged picture against its exposures with an MEF-SSIM scorer:
#   scripts/score-brackets.sh [BRACKETS_FOLDER] [SCORER]
# Defaults: ../shared/data/brackets and ../shared/tools/mef_ssim.py beside the project. The
# merged pictures go to build/brackets/. Installs what the scorer needs (python3-numpy,
# python3-opencv) with the build's packages and builds the merge program.
set -euo pipefail
cd "$(dirname "$0")/.."
brackets=${1:-../shared/data/brackets}
scorer=${2:-../shared/tools/mef_ssim.py}
[ -f "$scorer" ] || { echo "No scorer at $scorer: name one as the second argument" >&2; exit 2; }
scripts/install-deps.sh python3-numpy python3-opencv
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target tonefold-merge >/dev/null
mkdir -p build/brackets
for folder in "$brackets"/*/; do
  name=$(basename "$folder")
  mapfile -t photos < <(ls "$folder"*.jpg | sort)
  [ "${#photos[@]}" -eq 3 ] || continue
  out="build/brackets/$name.png"
  build/merge/tonefold-merge -o "$out" "${photos[@]}"
  printf '%-14s %s\n' "$name" "$("$scorer" "$out" "${photos[@]}" | cut -d' ' -f1)"
done
