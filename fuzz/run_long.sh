#!/usr/bin/env bash
# A long fuzzing run of one harness, on one core, keeping what it learns.
#
#   cmake --preset fuzz && cmake --build --preset fuzz
#   fuzz/run_long.sh reader 1200 &    # two at a time on a two-core machine
#   fuzz/run_long.sh decoders 1200
#   fuzz/run_long.sh import 1200
#
# HARNESS is reader, decoders or import; SECONDS defaults to 1200. The corpus
# grows in build/fuzz/long/HARNESS/corpus across runs, findings land in
# build/fuzz/long/HARNESS/ as crash-*, leak-*, timeout-* or oom-* files, and
# the run's output (with libFuzzer's cov: and ft: lines and final statistics)
# in build/fuzz/long/HARNESS.log. The harness runs in one child process at a
# time (-fork=1), so the run goes on past a finding and reports them all. Replay a finding with
#   build/fuzz/bin/HARNESS_fuzzer FILE
# and, once fixed, add it under tests/regressions/HARNESS/.
set -euo pipefail
harness=${1:?reader, decoders or import}
seconds=${2:-1200}
root="$(cd "$(dirname "$0")/.." && pwd)"
source "$root/fuzz/common.sh"
corpus="${KAVRI_CORPUS_DIR:-$root/../shared/corpus}"
work="$root/build/fuzz/long/$harness"
mkdir -p "$work/corpus"
rm -rf "$work/seeds"
prepare_seeds "$harness" "$corpus" "$work/seeds"
# shellcheck disable=SC2046
"$root/build/fuzz/bin/${harness}_fuzzer" $(harness_options "$harness") -max_total_time="$seconds" \
  -fork=1 -ignore_crashes=1 -ignore_ooms=1 -ignore_timeouts=1 -artifact_prefix="$work/" "$work/corpus" "$work/seeds" 2>&1 | tee "$work.log"
