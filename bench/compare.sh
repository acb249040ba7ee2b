#!/usr/bin/env bash
# Whole processes side by side: velmora-cli against the tools a user would otherwise pick,
# ImageMagick (resize + Floyd-Steinberg remap to the 15 ZX Spectrum colours) and pngquant
# (256 colours, --speed 1). Prints the median times and the ratios Velmora / other tool.
#   bench/compare.sh [CLI]      RUNS=n sets the runs per command (default 15)
# Needs the Debian packages imagemagick and pngquant; uses hyperfine when installed.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build/default/velmora-cli}")
runs=${RUNS:-15}
magick=/usr/bin/convert
for tool in "$magick" /usr/bin/pngquant python3; do
  command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install imagemagick pngquant)"; exit 1; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"

# The photograph of the table: 741 x 500.
"$magick" "$OLDPWD/samples/coffee.png" -resize '741x500!' photo.png
# The 15 colours of the ZX Spectrum (black once).
colours=()
for c in 000000 0000D7 D70000 D700D7 00D700 00D7D7 D7D700 D7D7D7 0000FF FF0000 FF00FF 00FF00 \
  00FFFF FFFF00 FFFFFF; do
  colours+=("xc:#$c")
done
"$magick" -size 1x1 "${colours[@]}" +append zx.png
# 100 photographs of many sizes.
mkdir -p many many-out
for i in $(seq 1 100); do
  src=$OLDPWD/samples/$([ $((i % 2)) = 0 ] && echo coffee.png || echo astronaut.png)
  wide=$((200 + (i * 37) % 900))
  high=$((150 + (i * 53) % 700))
  "$magick" "$src" -resize "${wide}x${high}!" "many/p$(printf %03d "$i").png"
done
"$magick" "$OLDPWD/samples/astronaut.png" -resize '2048x2048!' big.png
# A photograph of many more colours than the table's, at the same size.
"$magick" "$OLDPWD/samples/astronaut.png" -resize '741x500!' many-colours.png
# Let the writes of the set-up settle, or the first row measures them too.
sync
sleep 2

# median of a command's wall time in seconds; its mean processor time (user + system) is
# left in cpu.txt, which tells more than the wall time on a machine others are using.
median() {
  if command -v hyperfine >/dev/null; then
    hyperfine -N --style none --runs "$runs" --warmup 3 --export-json t.json "$1" >/dev/null 2>&1 ||
      hyperfine --style none --runs "$runs" --warmup 3 --export-json t.json "$1" >/dev/null
    python3 -c 'import json; r = json.load(open("t.json"))["results"][0]; print("%.4f" % (r["user"] + r["system"]), file=open("cpu.txt", "w")); print("%.4f" % r["median"])'
  else
    echo 0 >cpu.txt
    local times=()
    for _ in $(seq "$runs"); do
      local a b
      a=$(date +%s.%N)
      bash -c "$1" >/dev/null 2>&1
      b=$(date +%s.%N)
      times+=("$(python3 -c "print($b - $a)")")
    done
    python3 -c 'import statistics, sys; print("%.4f" % statistics.median(map(float, sys.argv[1:])))' "${times[@]}"
  fi
}
# maximum resident set of a command in kilobytes
rss() {
  /usr/bin/time -f %M bash -c "exec $1" 2>&1 >/dev/null | tail -1
}
ratio() { python3 -c "print('%.2f' % ($1 / $2))"; }

zx="$cli convert photo.png -o out/zx --force"
im="$magick photo.png -resize 256x192 -dither FloydSteinberg -remap zx.png out/im.png"
mkdir -p out
t_zx1=$(median "$zx --threads 1"); c_zx1=$(cat cpu.txt)
t_zx2=$(median "$zx --threads 2"); c_zx2=$(cat cpu.txt)
t_im=$(median "$im"); c_im=$(cat cpu.txt)
t_giga=$(median "$cli convert photo.png -m '256x192x4 Giga' -o out/giga --force"); c_giga=$(cat cpu.txt)
t_batch=$(RUNS=1 median "$cli batch many many-out --force"); c_batch=$(cat cpu.txt)
t_imbatch=$(RUNS=1 median "sh -c 'ls many/*.png | xargs -P 2 -I{} $magick {} -resize 256x192 -dither FloydSteinberg -remap zx.png {}.gif'"); c_imbatch=$(cat cpu.txt)
pal="$cli convert photo.png -p Common -m Palette -f png -o out/pal --force"
pq="/usr/bin/pngquant 256 --speed 1 --force --output out/pq.png photo.png"
t_pal=$(median "$pal"); c_pal=$(cat cpu.txt)
t_pq=$(median "$pq"); c_pq=$(cat cpu.txt)
pal2="$cli convert many-colours.png -p Common -m Palette -f png -o out/pal2 --force"
pq2="/usr/bin/pngquant 256 --speed 1 --force --output out/pq2.png many-colours.png"
t_pal2=$(median "$pal2"); c_pal2=$(cat cpu.txt)
t_pq2=$(median "$pq2"); c_pq2=$(cat cpu.txt)
# Undithered, the colour error of each against its source (mean Delta RGB: the luminance-weighted
# distance in linear light, as Velmora measures colours), lower is better.
$cli convert photo.png -p Common -m Palette -f png -o out/palnd --force --set DitherMethod=None >/dev/null
/usr/bin/pngquant 256 --speed 1 --nofs --force --output out/pqnd.png photo.png
err() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import sys
import numpy as np
from PIL import Image
def lin(p):
    a = np.asarray(Image.open(p).convert("RGB"), dtype=np.float64) / 255
    return np.where(a <= 0.04045, a / 12.92, ((a + 0.055) / 1.055) ** 2.4)
d = lin(sys.argv[1]) - lin(sys.argv[2])
w = np.array([0.2126, 0.7152, 0.0722])
print("%.5f" % np.sqrt((d * d * w).sum(axis=2)).mean())
PY
}
e_pal=$(err photo.png out/palnd.png)
e_pq=$(err photo.png out/pqnd.png)
m_pal=$(rss "$pal")
m_pq=$(rss "$pq")
m_big=$(rss "$cli convert big.png -p Common -m Palette -f png -o out/big --force")
m_small=$(rss "$cli convert zx.png -p Common -m Palette -f png -o out/small --force")

row() { # caption, velmora wall, other wall, velmora cpu, other cpu, goal, extra
  printf '%-50s %8.3fs %8.3fs %6s  %7.3fs %7.3fs %6s  %s%s\n' "$1" "$2" "$3" "$(ratio "$2" "$3")" \
    "$4" "$5" "$(ratio "$4" "$5")" "$6" "${7:-}"
}
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-50s %9s %9s %6s  %8s %8s %6s  %s\n' "Work (whole process)" Velmora Other Ratio \
  "CPU Vel." "CPU oth." Ratio Goal
row "ZX 256x192x4 default, 741x500 vs ImageMagick" "$t_zx1" "$t_im" "$c_zx1" "$c_im" "<= 0.12"
row "the same, --threads 2 vs --threads 1" "$t_zx2" "$t_zx1" "$c_zx2" "$c_zx1" "<= 0.6"
row "256x192x4 Giga vs ImageMagick remap" "$t_giga" "$t_im" "$c_giga" "$c_im" "<= 0.4"
row "batch of 100 to .scr vs ImageMagick xargs -P 2" "$t_batch" "$t_imbatch" "$c_batch" "$c_imbatch" \
  "<= 0.1" " ($(python3 -c "print('%.1f' % (100 / $t_batch))") photos/s)"
row "Palette default (256 colours) vs pngquant" "$t_pal" "$t_pq" "$c_pal" "$c_pq" "<= 0.4"
row "  the same, a photograph of many more colours" "$t_pal2" "$t_pq2" "$c_pal2" "$c_pq2" "<= 0.4"
printf '%-50s %9s %9s %6s  %s\n' "  undithered colour error vs pngquant --nofs" "$e_pal" "$e_pq" \
  "$(python3 -c "print('%.2f' % ($e_pal / $e_pq))")" "<= 0.75"
printf '%-50s %7dKB %7dKB %6s  %s\n' "  its memory (max RSS)" "$m_pal" "$m_pq" "$(ratio "$m_pal" "$m_pq")" "<= 3"
printf '%-50s %9s  %s\n' "working memory per pixel (2048x2048 Palette)" \
  "$(python3 -c "print('%.1fB' % (($m_big - $m_small) * 1024 / (2048 * 2048)))")" "<= 24 bytes"
