#!/usr/bin/env bash
# Builds the windows' scenario program and photographs the real windows under a virtual X
# display, at scale 1 and at scale 2: scripts/screenshots.sh [output folder]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-build/screenshots}
scripts/install-deps.sh xvfb xauth
scripts/build.sh build >/dev/null
cmake --build build --target tonefold_screenshots >/dev/null
unset QT_QPA_PLATFORM
xvfb-run -a -s "-screen 0 1280x800x24" build/app/tonefold_screenshots "$out/scale1"
QT_SCALE_FACTOR=2 xvfb-run -a -s "-screen 0 1280x800x24" build/app/tonefold_screenshots "$out/scale2"
