#!/usr/bin/env bash
# Sets up the machine, builds the Linux modules and the reference host, and
# imports the bundled sample through them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kavri-import
sample=${1:-samples/landscape.psd}
echo "Importing $sample"
build/native/bin/kavri-import "$sample"
