#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine with what the application, Tonefold, and the merge program
# need, builds those two (nothing else: the tests and benchmarks are built by scripts/test.sh)
# and launches the application. The merge program keeps its own command (see the README):
# scripts/merge-sample.sh. Without a desktop session it says so at once and builds only the
# merge program, which needs none.
set -euo pipefail
cd "$(dirname "$0")/.."

# Qt ends the program with an abort when it finds no display: tell it first, in plain words.
# A platform chosen through QT_QPA_PLATFORM that needs no display (offscreen, vnc...) is let be.
targets=(tonefold tonefold-merge)
case "${QT_QPA_PLATFORM:-}" in
  "" | xcb* | wayland*)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "Tonefold needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set);" \
        "building only the merge program, build/merge/tonefold-merge, which needs none." >&2
      targets=(tonefold-merge)
    fi
    ;;
esac

scripts/build-programs.sh "${targets[@]}"

if [ "${targets[0]}" != tonefold ]; then
  echo "No desktop session: merge photos with build/merge/tonefold-merge -o merged.jpg" \
    "dark.jpg normal.jpg bright.jpg" >&2
  exit 1
fi
exec build/app/tonefold "$@"
