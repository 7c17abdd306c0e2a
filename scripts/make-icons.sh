#!/usr/bin/env bash
# Draws the PNG sizes of the program's icon from desktop/icons/toplusms.svg (run after
# changing the SVG; the PNGs are kept in the repository so that a build needs no
# rasteriser). Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/../desktop/icons"
for size in 16 22 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" toplusms.svg -o "toplusms-$size.png"
done
