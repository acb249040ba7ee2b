#!/usr/bin/env bash
# Shows every V9990 mode's G9B file on an independent model of the chip: openMSX with the
# GFX9000 extension (Debian packages openmsx and cbios) takes the file into the V9990's
# memory, screenshots its output, and the picture is compared with Velmora's preview.
#   scripts/v9990-openmsx.sh [CLI] [PICTURE]
set -euo pipefail
cd "$(dirname "$0")/.."
cli=${1:-build/default/velmora-cli}
picture=${2:-samples/coffee.png}
here=$(pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
command -v openmsx >/dev/null || { echo "openmsx is not installed (apt-get install openmsx cbios)"; exit 2; }

status=0
for mode in "BP2 256x212x2" "BP4 256x212x4" "BP6 256x212x6" "BD8 256x212x8" \
  "BYJK 256x212x8" "BYUV 256x212x8" "BD16 256x212x16"; do
  tag=${mode%% *}
  "$cli" convert "$picture" -p "MSX V9990 VDP" -m "$mode" --threads 1 -o "$work/$tag" \
    --preview "$work/$tag.preview.png" >/dev/null
  cat >"$work/$tag.tcl" <<TCL
source $here/scripts/v9990/openmsx-g9b.tcl
set videosource GFX9000
after time 3 {v99_show $work/$tag.g9b $work/$tag.shot.png}
TCL
  SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy timeout 300 \
    openmsx -machine C-BIOS_MSX2+ -ext gfx9000 -script "$work/$tag.tcl" >"$work/$tag.log" 2>&1 || true
  if [ ! -f "$work/$tag.shot.png" ]; then
    echo "$mode: no screenshot ($(grep -v ALSA "$work/$tag.log" | tail -1))"
    status=1
    continue
  fi
  python3 - "$work/$tag.preview.png" "$work/$tag.shot.png" "$mode" <<'PY' || status=1
import sys
sys.path.insert(0, "scripts/v9990")
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
