#!/usr/bin/env bash
# Sets up the machine, builds the Linux modules and the reference host, and
# imports the bundled sample through them. The sample is copied to build/demo/
# first, since the layer images are written beside the imported file.
# usage: scripts/demo.sh [FILE.psd [kavri-import options...]]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset native >/dev/null
cmake --build --preset native --target kavri-import
sample=${1:-samples/landscape.psd}
shift || true
out=build/demo
base=$(basename "$sample")
base=${base%.*}
mkdir -p "$out"
cp "$sample" "$out/"
echo "Importing $sample (a copy in $out/)"
build/native/bin/kavri-import --gltf "$out/$base.glb" --scene-json "$out/$base.json" "$@" "$out/$(basename "$sample")"
echo
case " $* " in
  *" --save-dir"*) echo "Layer images:  in the folder named by \"images:\" above" ;;
  *) echo "Layer images:  $out/${base}_<layer>.<ext> (colour) and $out/${base}_A_<layer>.<ext> (transparency)" ;;
esac
echo "3D scene:      $out/$base.glb (glTF 2.0 binary; open it in any glTF viewer)"
echo "Scene as JSON: $out/$base.json (everything the host kept, with the camera)"
