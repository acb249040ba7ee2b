#!/usr/bin/env bash
# An hour of fuzzing per target (FUZZ_SECONDS to change it), keeping the corpus in
# build/fuzz-work so that later runs go on from it.
set -euo pipefail
cd "$(dirname "$0")/.."
export VELMORA_FUZZ_WORK=${VELMORA_FUZZ_WORK:-$PWD/build/fuzz-work}
exec bash scripts/fuzz-run.sh "${FUZZ_SECONDS:-3600}" "$@"
