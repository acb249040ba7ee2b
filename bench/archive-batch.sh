#!/usr/bin/env bash
# Imports an archive-sized folder of native screens into PNG pictures, once as one process
# and once divided with --shard among two processes, and prints files per second and the
# peak memory of a process.
#
#   bench/archive-batch.sh [velmora-cli]    (FILES=10000 by default)
set -euo pipefail

cli=${1:-$(dirname "$0")/../build/default/velmora-cli}
cli=$(realpath "$cli")
files=${FILES:-10000}
parts=2
root=$(dirname "$(realpath "$0")")/..
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-archive.XXXXXX")
trap 'rm -rf "$work"' EXIT

# A few screens Velmora writes itself (ZX Spectrum, MSX screen 5, Amstrad CPC mode 0 and 1),
# one in ten files; the others random bytes of a ZX screen's size, each a valid screen.
mkdir -p "$work/made" "$work/src"
for pic in coffee astronaut; do
  "$cli" convert "$root/samples/$pic.png" -o "$work/made/$pic-zx" >/dev/null
  "$cli" convert "$root/samples/$pic.png" -p MSX -m "5 256x212x4" -o "$work/made/$pic-msx" >/dev/null
  "$cli" convert "$root/samples/$pic.png" -p "Amstrad CPC" -m "0 160x200x4" \
    -o "$work/made/$pic-cpc0" >/dev/null
  "$cli" convert "$root/samples/$pic.png" -p "Amstrad CPC" -m "1 320x200x2" \
    -o "$work/made/$pic-cpc1" >/dev/null
done
python3 - "$work/made" "$work/src" "$files" <<'EOF'
import os, random, sys
made, src, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
screens = sorted(f for f in os.listdir(made) if f.endswith(('.scr', '.sc5')))
random.seed(1)
for i in range(count):
    if i % 10 == 0:
        name = screens[(i // 10) % len(screens)]
        data = open(os.path.join(made, name), 'rb').read()
        # Same stem in the archive, other folder: the CPC one keeps its extension.
        out = 'pic%05d%s' % (i, os.path.splitext(name)[1])
    else:
        data = random.randbytes(6912)
        out = 'pic%05d.scr' % i
    with open(os.path.join(src, out), 'wb') as f:
        f.write(data)
EOF

# Wall time and peak resident memory of a command and everything it starts.
measure() {
  python3 - "$@" <<'EOF'
import resource, subprocess, sys, time
start = time.monotonic()
status = subprocess.call(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
seconds = time.monotonic() - start
peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss // 1024
print('%.2f %d %d' % (seconds, peak, status))
EOF
}

report() { # caption seconds peak status written
  printf '%-34s %6d files in %7.2f s: %8.0f files/s, peak %4d MiB per process, status %d\n' \
    "$1" "$5" "$2" "$(awk "BEGIN { print $5 / $2 }")" "$3" "$4"
}

echo "velmora-cli: $cli"
echo "processors: $(nproc), files: $files ($(du -sh "$work/src" | cut -f1))"

read -r s m st < <(measure "$cli" batch --import "$work/src" "$work/one")
report "one process (default threads)" "$s" "$m" "$st" "$(find "$work/one" -type f | wc -l)"

mkdir -p "$work/parts"
seq 1 "$parts" >"$work/parts.txt"
read -r s m st < <(measure xargs -a "$work/parts.txt" -P "$parts" -I{} \
  "$cli" batch --import --shard "{}/$parts" "$work/src" "$work/parts")
report "$parts processes, --shard I/$parts" "$s" "$m" "$st" "$(find "$work/parts" -type f | wc -l)"

# Both runs give the same files.
if diff -rq "$work/one" "$work/parts" >/dev/null; then
  echo "results of both runs are identical"
else
  echo "results differ" >&2
  exit 1
fi
