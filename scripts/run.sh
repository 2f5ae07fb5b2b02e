#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs the engine benchmarks.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
build/bench/tonefold_bench "$@"
