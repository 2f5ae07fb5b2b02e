#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and launches the application, Tonefold.
# The merge program keeps its own command (see the README): scripts/merge-sample.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh build
exec build/app/tonefold "$@"
