#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
# Some tests mostly wait (for a child process, a timer): twice as many at a time as processors.
ctest --test-dir build --output-on-failure -j "$((2 * $(nproc)))"
