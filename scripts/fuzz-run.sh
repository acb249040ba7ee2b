#!/usr/bin/env bash
# Runs every fuzz target for SECONDS each, starting from the corpus scripts/fuzz-seeds.sh
# makes, and fails on the first finding (a crash, a leak, a sanitizer report, an input over
# the memory or time limit). Builds the fuzz preset (clang) and needs the default build for
# the seeds.
#   scripts/fuzz-run.sh SECONDS [TARGET...]    targets: loader native picture palette unpack
# The smoke stage of the test command runs it for 60 seconds; scripts/fuzz-long.sh for an hour.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
shift || true
targets=${*:-loader native picture palette unpack}
jobs=$(nproc 2>/dev/null || echo 2)
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs" >/dev/null
work=${VELMORA_FUZZ_WORK:-}
if [ -z "$work" ]; then
  work=$(mktemp -d)
  keep=0
else
  keep=1
fi
mkdir -p "$work"
[ -d "$work/seeds/loader" ] || bash scripts/fuzz-seeds.sh "$work/seeds"
status=0
for t in $targets; do
  mkdir -p "$work/corpus/$t" "$work/findings/$t" "$work/seeds/$t"
  max_len=1048576
  [ "$t" = palette ] && max_len=65536
  echo "== fuzz_$t for ${seconds}s"
  # Findings (crash-*, leak-*, oom-*, timeout-*) land in findings/; the log keeps the rates.
  if ! build/fuzz/fuzz_"$t" -max_total_time="$seconds" -max_len="$max_len" -timeout=30 \
      -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$work/findings/$t/" \
      "$work/corpus/$t" "$work/seeds/$t" >"$work/fuzz_$t.log" 2>&1; then
    status=1
    echo "fuzz_$t: FINDING (log and input in $work)"
    grep -E "ERROR|SUMMARY|Test unit written" "$work/fuzz_$t.log" | head -20
  fi
  # The last status line: runs, coverage, executions per second.
  grep -E "^#[0-9]+.*(DONE|pulse|NEW|REDUCE)" "$work/fuzz_$t.log" | tail -1 || true
  grep -E "stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)" \
    "$work/fuzz_$t.log" || true
done
# A passing run's scratch corpus goes; a finding's stays to be looked at.
[ "$status" -ne 0 ] || [ "$keep" = 1 ] || rm -rf "$work"
exit $status
