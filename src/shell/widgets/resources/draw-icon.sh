#!/bin/sh
# Draws the program icon "AAA": a camera body with a large lens, at 256 px,
# then scaled down for the smaller sizes (the hicolor theme's usual ones; the
# program's own window icons use 16, 32, 48 and 256). Run from this folder
# after a change; the PNGs are committed so the build needs no image tools.
# AAA/scalable.svg draws the same shapes: change both together.
set -e
cd "$(dirname "$0")"
convert -size 256x256 xc:none \
    -fill '#2b3440' -stroke '#10151b' -strokewidth 6 \
    -draw 'roundrectangle 16,56 240,220 28,28' \
    -fill '#3c4754' -stroke '#10151b' -strokewidth 5 \
    -draw 'roundrectangle 40,30 104,62 10,10' \
    -fill '#e8a33d' -stroke none -draw 'circle 206,82 206,92' \
    -fill '#0e1217' -stroke '#9aa7b4' -strokewidth 8 -draw 'circle 128,140 128,68' \
    -fill '#1d4e89' -stroke '#0b1a2e' -strokewidth 4 -draw 'circle 128,140 128,88' \
    -fill '#3f86d1' -stroke none -draw 'circle 128,140 128,110' \
    -fill '#0a0d12' -draw 'circle 128,140 128,124' \
    -fill '#ffffffcc' -draw 'circle 108,120 108,110' \
    -depth 8 PNG32:AAA/256.png
for size in 128 64 48 32 24 22 16; do
    convert AAA/256.png -filter Lanczos -resize ${size}x${size} -strip -depth 8 PNG32:AAA/${size}.png
done
