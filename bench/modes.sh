#!/usr/bin/env bash
# Every finished mode's whole-process time on one worker, slowest first: velmora-cli converts
# the 741 x 500 photograph of bench/compare.sh into each mode's native files, and the best of
# RUNS runs (default 3) of its processor time (user + system) is kept, as the least disturbed
# by other work on the machine. Ends with the count, the median and the modes over LIMIT ms
# (default 100; "Palette" is held to 150).
#   bench/modes.sh [CLI]      FILTER=regex keeps the "Platform|Mode" names that match it
set -euo pipefail
cd "$(dirname "$0")/.."
cli=$(realpath "${1:-build/default/velmora-cli}")
runs=${RUNS:-3}
limit=${LIMIT:-100}
filter=${FILTER:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
/usr/bin/python3 - "$PWD/samples/coffee.png" "$work/photo.png" <<'EOF'
import sys
from PIL import Image
Image.open(sys.argv[1]).convert("RGB").resize((741, 500), Image.LANCZOS).save(sys.argv[2])
EOF

# Processor time of one conversion in milliseconds (the child's rusage, to the microsecond);
# empty when it failed.
cpu_ms() {
  /usr/bin/python3 - "$cli" "$work" "$1" "$2" <<'EOF'
import os, subprocess, sys
cli, work, platform, mode = sys.argv[1:5]
with open(os.path.join(work, "err"), "wb") as err:
    p = subprocess.Popen([cli, "convert", os.path.join(work, "photo.png"), "-p", platform,
                          "-m", mode, "--threads", "1", "--force", "-o",
                          os.path.join(work, "out")], stdout=subprocess.DEVNULL, stderr=err)
    _, status, usage = os.wait4(p.pid, 0)
if status == 0:
    print(round((usage.ru_utime + usage.ru_stime) * 1000))
EOF
}

table=$work/table
: >"$table"
# Tabs as a separator that read does not merge: SymbOS's one mode has an empty name.
while IFS=$'\037' read -r platform mode _size _scale status _reason; do
  [ "$status" = "preview only" ] && continue
  [ -n "$filter" ] && ! [[ "$platform|$mode" =~ $filter ]] && continue
  best=""
  for _ in $(seq "$runs"); do
    t=$(cpu_ms "$platform" "$mode")
    if [ -z "$t" ]; then
      echo "failed: $platform|$mode: $(head -1 "$work/err")" >&2
      best=""
      break
    fi
    if [ -z "$best" ] || [ "$t" -lt "$best" ]; then best=$t; fi
  done
  [ -n "$best" ] && printf '%s\t%s|%s\n' "$best" "$platform" "$mode" >>"$table"
  rm -f "$work"/out*
done < <("$cli" list | tr '\t' '\037')

sort -t$'\t' -k1,1nr "$table" | awk -F'\t' '{ printf "%6d ms  %s\n", $1, $2 }'
sort -t$'\t' -k1,1n "$table" | awk -F'\t' -v limit="$limit" '
  { t[NR] = $1; name[NR] = $2
    goal = ($2 == "Common|Palette") ? 150 : limit
    if ($1 > goal) over = over sprintf("  %s (%d ms, goal %d)\n", $2, $1, goal) }
  END {
    if (NR == 0) exit
    median = (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2
    printf "%d modes; median %d ms, slowest %d ms\n", NR, median, t[NR]
    if (over != "") printf "over the goal:\n%s", over; else print "every mode within its goal"
  }'
