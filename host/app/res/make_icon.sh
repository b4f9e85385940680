#!/bin/sh
# Draws the product's icon, the loader's emblem at 256 x 256: run from this folder.
set -e
convert -size 256x256 xc:none \
    -fill '#1d5b8f' -draw 'circle 124,124 124,12' \
    -fill white -draw "path 'M 36,148 Q 84,92 132,148 T 228,148 L 228,172 Q 180,116 132,172 T 36,172 Z'" \
    -fill '#f2b134' -draw 'circle 156,76 156,52' \
    PNG32:halcyon-imaging.png
