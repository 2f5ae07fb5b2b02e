#!/usr/bin/env bash
# Draws the three images of the application's image buttons (normal, hover, pressed) into
# app/resources/images: dark rounded plates with a soft vertical shading and a thin rim, drawn at
# twice the usual button size so they stay sharp on high-density screens.
set -euo pipefail
cd "$(dirname "$0")/.."
out=app/resources/images
mkdir -p "$out"
plate() {  # name top bottom rim
    convert -size 240x64 xc:none \
        \( -size 240x64 "gradient:$2-$3" \) \
        \( -size 240x64 xc:none -fill white -draw "roundrectangle 1,1 238,62 10,10" \) \
        -delete 0 -compose CopyOpacity -composite \
        -fill none -stroke "$4" -strokewidth 2 -draw "roundrectangle 1,1 238,62 10,10" \
        -define png:exclude-chunks=date,time -strip "$out/$1.png"
}
plate butn_Import_Normal '#4a4a4a' '#353535' '#5e5e5e'
plate butn_Import_Roll '#5a5a5a' '#424242' '#7a7a7a'
plate butn_Import_Push '#262626' '#333333' '#4a4a4a'
