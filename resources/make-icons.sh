#!/usr/bin/env bash
# Renders the program's pictures from their SVG sources (needs ImageMagick).
# The PNGs are kept in the repository, so building does not need this.
set -euo pipefail
cd "$(dirname "$0")/icons"
for svg in *.svg; do
  convert -background none -depth 8 "$svg" PNG32:"${svg%.svg}.png"
done
