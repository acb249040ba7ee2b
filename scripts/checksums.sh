#!/usr/bin/env bash
# Converts a fixed set of pictures in every finished mode (not "preview only") with one and
# several workers and prints the SHA-256 of every file written (native files and preview).
#   scripts/checksums.sh [CLI]                  print the list
#   scripts/checksums.sh --check LIST [CLI]     compare with a list printed before
# A speed-up must leave the list unchanged. MODES='ZX Spectrum|256x192x4;...' narrows the set,
# THREADS='1 2' the worker counts.
set -euo pipefail
cd "$(dirname "$0")/.."
check=""
if [ "${1:-}" = --check ]; then
  check=$2
  shift 2
fi
cli=${1:-build/default/velmora-cli}
threads=${THREADS:-1 2 4}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A noise picture, the same on every run: no photograph exercises ties and clipping as well.
python3 - "$work/noise.png" <<'EOF'
import struct, sys, zlib
w, h, seed = 203, 157, 12345
rows = bytearray()
for y in range(h):
    rows.append(0)
    for x in range(w * 3):
        seed = (seed * 1103515245 + 12345) & 0x7fffffff
        rows.append(seed >> 23)
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
png += chunk(b"IDAT", zlib.compress(bytes(rows), 9)) + chunk(b"IEND", b"")
open(sys.argv[1], "wb").write(png)
EOF
pictures="samples/astronaut.png samples/coffee.png $work/noise.png"

if [ -n "${MODES:-}" ]; then
  modes=$(tr ';' '\n' <<<"$MODES")
else
  # platform<TAB>mode of every mode that follows its machine.
  modes=$("$cli" list | awk -F'\t' '$5 != "preview only" { print $1 "|" $2 }')
fi

run() {
  while IFS='|' read -r platform mode; do
    [ -n "$platform" ] || continue
    for pic in $pictures; do
      for t in $threads; do
        out="$work/out"
        rm -rf "$out"
        mkdir -p "$out"
        name=$(basename "$pic" .png)
        if ! "$cli" convert "$pic" -p "$platform" -m "$mode" --threads "$t" -o "$out/$name" \
          --preview "$out/$name.preview.png" >/dev/null 2>"$work/err"; then
          echo "$platform|$mode|$name|t$t|FAILED $(head -c 200 "$work/err" | tr '\n' ' ')"
          continue
        fi
        for f in $(cd "$out" && ls | sort); do
          echo "$platform|$mode|$name|t$t|$f $(sha256sum "$out/$f" | cut -c1-64)"
        done
      done
    done
  done <<<"$modes"
}

if [ -z "$check" ]; then
  run
  exit 0
fi
run >"$work/now"
# Lines of modes absent from the list (added since) are shown but do not fail the check.
status=0
while IFS= read -r line; do
  key=${line% *}
  want=$(grep -F -- "$key " "$check" || true)
  if [ -z "$want" ]; then
    echo "new: $line"
  elif [ "$want" != "$line" ]; then
    echo "DIFFERS: $line (was ${want##* })"
    status=1
  fi
done <"$work/now"
while IFS= read -r line; do
  key=${line% *}
  # Modes and worker counts left out of this run are not missing.
  grep -qF -- "$(cut -d'|' -f1-4 <<<"$key")|" "$work/now" || continue
  grep -qF -- "$key " "$work/now" || { echo "MISSING: $line"; status=1; }
done <"$check"
[ $status = 0 ] && echo "checksums identical ($(wc -l <"$work/now") files)"
exit $status
