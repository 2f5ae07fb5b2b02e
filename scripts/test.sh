#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the unit tests.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)"
