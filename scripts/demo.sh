#!/usr/bin/env bash
# Sets up the machine, builds the Linux modules and the reference host, and
# imports the bundled sample through them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kavri-import
sample=${1:-samples/landscape.psd}
if [ ! -f "$sample" ]; then
  # Until the bundled sample exists: a small valid document made here.
  mkdir -p build/demo
  python3 - build/demo/sample.psd <<'PY'
import struct, sys
header = b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, 2, 4, 8, 3)
open(sys.argv[1], "wb").write(header + struct.pack(">III", 0, 0, 0))
PY
  sample=build/demo/sample.psd
fi
echo "Importing $sample"
build/native/bin/kavri-import "$sample"
