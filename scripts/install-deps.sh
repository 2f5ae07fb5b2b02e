#!/usr/bin/env bash
# Installs the Debian 12 packages the build needs, only those that are missing:
#   install-deps.sh [--programs] [PACKAGE...]
# Without --programs, everything scripts/test.sh builds (the application, the merge program, the
# tests, the benchmarks and the fuzz targets); with it, only what the application and the merge
# program need. Extra package names given as arguments are installed too (the screenshot script
# adds xvfb and xauth). As root it runs apt-get itself, otherwise through sudo; without sudo it
# names the missing packages and the command that installs them, and fails.
set -euo pipefail

programs=(cmake ninja-build g++ pkg-config libyuv-dev qt6-base-dev qt6-base-dev-tools libraw-dev
  libtiff-dev libexif-dev libturbojpeg0-dev libjpeg-dev libpng-dev zlib1g-dev)
checks=(libgtest-dev libgmock-dev libbenchmark-dev python3 clang libclang-rt-14-dev)

packages=("${programs[@]}")
if [ "${1:-}" = "--programs" ]; then
  shift
else
  packages+=("${checks[@]}")
fi
packages+=("$@")

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if ! command -v sudo >/dev/null 2>&1; then
    echo "Missing Debian packages: ${missing[*]}; install them as root with:" \
      "apt-get install ${missing[*]}" >&2
    exit 1
  fi
  sudo="sudo"
fi

echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
