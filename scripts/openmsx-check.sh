#!/usr/bin/env bash
# Shows Velmora's MSX screen files on an independent model of the machines: openMSX (Debian
# packages openmsx and cbios) takes each file into video memory, screenshots the output, and
# the picture is compared with Velmora's preview. Covers every V9990 mode (G9B, through the
# GFX9000 extension) and MSX screens 5, 8 and 12 (BSAVE files).
#   scripts/openmsx-check.sh [CLI] [PICTURE]
# Exit status: 0 all agree, 1 a difference or a missing screenshot, 2 openMSX is not installed.
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/default/velmora-cli}
picture=${2:-samples/coffee.png}
here=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v openmsx >/dev/null || { echo "openmsx is not installed (apt-get install openmsx cbios)"; exit 2; }

# platform | mode | tag | file extension | machine
checks=(
  "MSX|5 256x212x4|sc5|sc5|C-BIOS_MSX2"
  "MSX|8 256x212x8|sc8|sc8|C-BIOS_MSX2"
  "MSX|12 256x212x15|sc12|scc|C-BIOS_MSX2+"
  "MSX V9990 VDP|BP2 256x212x2|BP2|g9b|C-BIOS_MSX2+"
  "MSX V9990 VDP|BP4 256x212x4|BP4|g9b|C-BIOS_MSX2+"
  "MSX V9990 VDP|BP6 256x212x6|BP6|g9b|C-BIOS_MSX2+"
  "MSX V9990 VDP|BD8 256x212x8|BD8|g9b|C-BIOS_MSX2+"
  "MSX V9990 VDP|BYJK 256x212x8|BYJK|g9b|C-BIOS_MSX2+"
  "MSX V9990 VDP|BYUV 256x212x8|BYUV|g9b|C-BIOS_MSX2+"
  "MSX V9990 VDP|BD16 256x212x16|BD16|g9b|C-BIOS_MSX2+"
)

status=0
for check in "${checks[@]}"; do
  IFS='|' read -r platform mode tag ext machine <<<"$check"
  "$cli" convert "$picture" -p "$platform" -m "$mode" --threads 1 -o "$work/$tag" \
    --preview "$work/$tag.preview.png" >/dev/null
  if [ "$ext" = g9b ]; then
    cat >"$work/$tag.tcl" <<TCL
source $here/scripts/openmsx/openmsx-g9b.tcl
set videosource GFX9000
after time 3 {v99_show $work/$tag.g9b $work/$tag.shot.png}
TCL
    extension=(-ext gfx9000)
  else
    cat >"$work/$tag.tcl" <<TCL
source $here/scripts/openmsx/openmsx-bsave.tcl
after time 3 {msx_show $work/$tag.$ext ${tag#sc} $work/$tag.shot.png}
TCL
    extension=()
  fi
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 300 \
    openmsx -machine "$machine" "${extension[@]}" -script "$work/$tag.tcl" >"$work/$tag.log" 2>&1 || true
  if [ ! -f "$work/$tag.shot.png" ]; then
    echo "$platform $mode: no screenshot ($(grep -v ALSA "$work/$tag.log" | tail -1))"
    status=1
    continue
  fi
  /usr/bin/python3 - "$work/$tag.preview.png" "$work/$tag.shot.png" "$platform $mode" <<'PY' || status=1
import sys
sys.path.insert(0, "scripts/openmsx")
from png_read import read_png
_, _, want = read_png(sys.argv[1])
sw, sh, shot = read_png(sys.argv[2])
# The raw frame holds the picture inside a border: the offset where a sample of pixels
# matches best.
sample = [(x, y) for y in range(3, 212, 13) for x in range(5, 256, 17)]
def cost(ox, oy):
    return sum(abs(a - b) for x, y in sample for a, b in zip(shot[oy + y][ox + x], want[y][x]))
best = min(((ox, oy) for oy in range(sh - 211) for ox in range(sw - 255)), key=lambda o: cost(*o))
ox, oy = best
# openMSX widens 5-bit levels to bytes slightly differently: one step apart is the same level.
worst = [max(abs(a - b) for a, b in zip(shot[oy + y][ox + x], want[y][x]))
         for y in range(212) for x in range(256)]
print(f"{sys.argv[3]}: picture at ({ox}, {oy}); {worst.count(0)} pixels equal, "
      f"{worst.count(1)} one step apart, {sum(1 for w in worst if w > 1)} further apart "
      f"(largest {max(worst)})")
sys.exit(0 if max(worst) <= 1 else 1)
PY
done
exit $status
