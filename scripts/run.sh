#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds the application, Tonefold, and the merge program
# (nothing else: the tests and benchmarks are built by scripts/test.sh) and launches the
# application. The merge program keeps its own command (see the README): scripts/merge-sample.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The same configuration as scripts/build.sh, so both share build/.
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build --target tonefold tonefold-merge

# Qt ends the program with an abort when it finds no display: say so in plain words instead.
# A platform chosen through QT_QPA_PLATFORM that needs no display (offscreen, vnc...) is let be.
case "${QT_QPA_PLATFORM:-}" in
  "" | xcb* | wayland*)
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
      echo "Tonefold needs a desktop session (neither DISPLAY nor WAYLAND_DISPLAY is set);" \
        "without one, merge photos with build/merge/tonefold-merge -o merged.jpg dark.jpg" \
        "normal.jpg bright.jpg" >&2
      exit 1
    fi
    ;;
esac
exec build/app/tonefold "$@"
