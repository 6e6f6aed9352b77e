#!/usr/bin/env bash
# The bounded run of one harness in the test command: a fixed seed and a fixed
# number of runs from the seeds, so that it takes well under a minute.
# Usage: run_bounded.sh HARNESS BINARY CORPUS_DIR WORK_DIR
set -euo pipefail
harness=$1 binary=$2 corpus=$3 work=$4
source "$(dirname "$0")/common.sh"

declare -A runs=([reader]=6000 [decoders]=40000 [import]=4000)

rm -rf "$work"
mkdir -p "$work/new"
prepare_seeds "$harness" "$corpus" "$work/seeds"
# New inputs go to the first folder, the scratch one; the seeds stay as they are.
# shellcheck disable=SC2046
exec "$binary" $(harness_options "$harness") -seed=1 -runs="${runs[$harness]}" \
  -artifact_prefix="$work/" "$work/new" "$work/seeds"
