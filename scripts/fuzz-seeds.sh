#!/usr/bin/env bash
# Makes the fuzz targets' first corpus from what Velmora really writes: the sample photograph
# converted in every finished mode, each native file turned into inputs by
# velmora-fuzz-seeds, with the hand-made seeds of fuzz/seeds/ and the bundled palettes.
#   scripts/fuzz-seeds.sh OUT_DIR [BUILD_DIR]   writes OUT_DIR/{loader,native,picture,palette,unpack}
set -euo pipefail
cd "$(dirname "$0")/.."
out=$1
build=${2:-build/default}
cli=$build/velmora-cli
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"/{loader,native,picture,palette,unpack}
n=0
while IFS='|' read -r platform mode; do
  n=$((n + 1))
  mkdir -p "$work/$n"
  "$cli" convert samples/astronaut.png -p "$platform" -m "$mode" -o "$work/$n/pic" \
    --preview "$work/$n/preview.png" >/dev/null
done < <("$cli" list | awk -F'\t' '$5 != "preview only" { print $1 "|" $2 }')
"$build/velmora-fuzz-seeds" "$out" $(find "$work" -type f ! -name 'preview.png') fuzz/seeds/native/*
# Pictures: the samples and previews in each format the decoders read.
cp samples/*.png "$out/picture/"
"$cli" convert samples/coffee.png -p Common -m Palette -o "$work/c" --preview "$work/c.gif" >/dev/null
"$cli" convert samples/coffee.png -p Common -m "B/W" -o "$work/bw" --preview "$work/b.bmp" >/dev/null
cp "$work/c.gif" "$work/b.bmp" "$out/picture/"
# An animated GIF: two screens of one size as frames.
mkdir -p "$work/frames"
"$cli" convert samples/astronaut.png -o "$work/fa" --preview "$work/frames/f1.png" >/dev/null
"$cli" convert samples/coffee.png -o "$work/fc" --preview "$work/frames/f2.png" >/dev/null
"$cli" convert "$work/frames" -p Common -m Palette --set MaxColorCount=16 -o "$work/anim" \
  --preview "$work/anim.gif" >/dev/null
cp "$work/anim.gif" "$out/picture/"
cp src/app/Palettes/* "$out/palette/" 2>/dev/null || true
# Packed exports: a ZX, an MSX and a CPC screen as ZX0 and as LZ4 blocks.
for m in "ZX Spectrum|256x192x4" "MSX|5 256x212x4" "Amstrad CPC|0 160x200x4"; do
  n=$((n + 1))
  "$cli" convert samples/astronaut.png -p "${m%%|*}" -m "${m#*|}" -o "$work/packed$n" \
    --export zx0 --export lz4 >/dev/null
done
cp "$work"/packed*.zx0 "$work"/packed*.lz4 "$out/unpack/"
echo "fuzz seeds: $n modes, $(ls "$out/loader" | wc -l) loader, $(ls "$out/native" | wc -l) native," \
  "$(ls "$out/picture" | wc -l) picture, $(ls "$out/palette" | wc -l) palette," \
  "$(ls "$out/unpack" | wc -l) unpack inputs"
