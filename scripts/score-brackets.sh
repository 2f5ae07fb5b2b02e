#!/usr/bin/env bash
# Merges every bracket folder (three photos each: .jpg, .jpeg or .png in any case) under a
# brackets folder and scores each merged picture against its exposures with an MEF-SSIM scorer:
#   scripts/score-brackets.sh [BRACKETS_FOLDER] [SCORER]
# Relative arguments are taken from the current folder. Defaults: ../shared/data/brackets and
# ../shared/tools/mef_ssim.py beside the project (the project does not ship a scorer: without
# that folder, name one). The scorer is run as SCORER MERGED PHOTO PHOTO PHOTO and its output's
# first word is the score; a script that is not executable is run with python3. The merged
# pictures go to build/brackets/. Installs what the scorer needs (python3-numpy,
# python3-opencv) with the build's packages and builds the merge program.
# A bracket that the merge program refuses, or that the scorer cannot score, is reported and the
# run goes on; the exit status is then 1. A folder without exactly three photos is skipped with
# a line saying so.
set -euo pipefail

# Relative to where the command was given, not to the project.
absolute() { case "$1" in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
root=$(cd "$(dirname "$0")/.." && pwd)
beside=$(dirname "$root")
if [ $# -ge 1 ]; then brackets=$(absolute "$1"); else brackets="$beside/shared/data/brackets"; fi
if [ $# -ge 2 ]; then scorer=$(absolute "$2"); else scorer="$beside/shared/tools/mef_ssim.py"; fi
if [ ! -f "$scorer" ]; then
  if [ $# -ge 2 ]; then
    echo "No scorer at $2 (no such file)." >&2
  else
    echo "No scorer given, and none at the default place beside the project, $scorer" \
      "(the project itself ships none)." >&2
  fi
  echo "Name an MEF-SSIM scorer script (SCORER MERGED PHOTO PHOTO PHOTO printing the score" \
    "first): scripts/score-brackets.sh BRACKETS_FOLDER SCORER" >&2
  exit 2
fi
if [ ! -d "$brackets" ]; then
  echo "No brackets folder at ${1:-$brackets}: name a folder of bracket folders (three" \
    "photos each): scripts/score-brackets.sh BRACKETS_FOLDER SCORER" >&2
  exit 2
fi
score() {
  if [ -x "$scorer" ]; then "$scorer" "$@"; else python3 "$scorer" "$@"; fi
}

cd "$root"
scripts/install-deps.sh --programs python3-numpy python3-opencv
# As scripts/run.sh configures build/: a fresh one without the tests and benchmarks.
options=()
[ -f build/CMakeCache.txt ] || options=(-DTONEFOLD_BUILD_TESTS=OFF -DTONEFOLD_BUILD_BENCH=OFF)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release "${options[@]}" >/dev/null
cmake --build build --target tonefold-merge >/dev/null
mkdir -p build/brackets
shopt -s nullglob nocaseglob
failed=0
for folder in "$brackets"/*/; do
  name=$(basename "$folder")
  mapfile -t photos < <(printf '%s\n' "$folder"*.jpg "$folder"*.jpeg "$folder"*.png | sed '/^$/d' | sort)
  if [ "${#photos[@]}" -ne 3 ]; then
    printf '%-14s skipped: %d photos, not 3\n' "$name" "${#photos[@]}"
    continue
  fi
  out="build/brackets/$name.png"
  if ! build/merge/tonefold-merge -o "$out" "${photos[@]}"; then
    printf '%-14s refused by the merge program (its line above)\n' "$name"
    failed=1
    continue
  fi
  if ! result=$(score "$out" "${photos[@]}"); then
    printf '%-14s not scored (the scorer failed)\n' "$name"
    failed=1
    continue
  fi
  printf '%-14s %s\n' "$name" "${result%% *}"
done
exit $failed
