#!/bin/sh
# Renders the PNGs that the build bundles from the SVG drawings beside them.
# The PNGs are committed: Qt loads PNG without any plugin, while SVG needs the
# separate Qt SVG module at run time. Run again after changing a drawing.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -eu
cd "$(dirname "$0")"
for size in 16 24 32 48 64 128 256; do
    rsvg-convert -w "$size" -h "$size" pellora.svg -o "pellora-$size.png"
done
for svg in toolbar/*.svg; do
    for size in 16 24 32 48; do
        rsvg-convert -w "$size" -h "$size" "$svg" -o "${svg%.svg}-$size.png"
    done
done
