#!/usr/bin/env bash
# Renders the drawn SVG sources to the PNG files the program loads. The PNGs are committed,
# so building needs nothing of this; run it after changing an SVG (needs rsvg-convert from
# librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")"
for n in 130 131 132 133 134 136 137 138; do
  rsvg-convert -w 32 -h 32 "icons/icon$n.svg" -o "icons/icon$n.png"
done
rsvg-convert -w 128 -h 128 icons/icon128.svg -o icons/icon128.png
rsvg-convert -w 64 -h 64 icons/icon128.svg -o icons/icon128_64.png
rsvg-convert -w 32 -h 32 icons/icon128.svg -o icons/icon128_32.png
rsvg-convert -w 461 -h 257 -b '#061a3b' splash.svg -o splash.png
