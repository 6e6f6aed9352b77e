#!/usr/bin/env bash
# kavri-import's host options: what a run with them leaves in the scene JSON and
# the glTF file, and the refusal of values that make no sense.
set -u
emulator=$1   # empty, or the program that runs the Windows build (wine)
program=$2
corpus=$3
scratch=$4
validator=$5  # validate_gltf.js
mkdir -p "$scratch"
failed=0
# Images are written beside the document: import a copy, never the corpus itself.
cp "$corpus/psdtools__1layer.psd" "$scratch/psdtools__1layer.psd"
fail() { echo "FAIL: $*"; failed=1; }

$emulator "$program" --list-savers >"$scratch/savers.txt" 2>&1 || fail "--list-savers exited $?"
grep -q '^[1-9][0-9]*: LW_TGA24(.tga)' <(tr -d '\r' <"$scratch/savers.txt") || fail "--list-savers lacks LW_TGA24(.tga) past index 0"

rm -f "$scratch/scene.json" "$scratch/scene.glb"
$emulator "$program" --release 2015 --viewport 1000x400 --frame 720x486 --pixel-aspect 0.9 --viewport-kind 9 \
  --camera-position 1,2,-3 --camera-rotation 10,5,0 --camera-fov 45 --type DenseMesh --color-format 1 \
  --premultiply off --scene-json "$scratch/scene.json" --gltf "$scratch/scene.glb" \
  "$scratch/psdtools__1layer.psd" >"$scratch/stdout.txt" 2>"$scratch/stderr.txt"
code=$?
[ "$code" = 0 ] || { fail "options run exited $code"; cat "$scratch/stderr.txt"; }
/usr/bin/python3 - "$scratch/scene.json" <<'PY' || failed=1
import json, sys
scene = json.load(open(sys.argv[1]))
camera = scene["camera"]
checks = [
    (scene["release"], "2015"),
    (scene["result"], 0),
    (scene["finished"], True),
    (camera["viewport"], {"x": 0, "y": 0, "width": 1000, "height": 400}),
    (camera["frame"], {"width": 720, "height": 486, "pixelAspect": 0.9}),
    # 400 x 4/3 = 533 wide, 467 pixels of padding, 233 to the left.
    (camera["framePlacement"], {"x": 233, "y": 0, "width": 533, "height": 400}),
    (camera["eye"], [1.0, 2.0, -3.0]),
    (round(camera["horizontalFovDegrees"], 9), 45.0),
    (scene["lookups"][0]["name"], "Surface Functions 4"),
]
bad = [(got, wanted) for got, wanted in checks if got != wanted]
for got, wanted in bad:
    print(f"FAIL: scene JSON has {got!r}, expected {wanted!r}")
sys.exit(1 if bad else 0)
PY
[ -s "$scratch/scene.glb" ] || fail "no glTF file written"
if [ -f "$(dirname "$validator")/node_modules/gltf-validator/package.json" ]; then
  node "$validator" "$scratch/scene.glb" >"$scratch/validator.txt" 2>&1 || { fail "the glTF file does not validate"; cat "$scratch/validator.txt"; }
else
  fail "gltf-validator is not installed: npm install --prefix $(dirname "$validator")"
fi

# Values that make no sense are refused before anything is loaded.
for bad in "--viewport 0x10" "--viewport 800" "--frame 10x-2" "--camera-position 1,2" "--camera-fov 0" \
           "--color-format NOPE(.xyz)" "--color-format 99" "--premultiply maybe" "--type Cube" "--pixel-aspect 0"; do
  # shellcheck disable=SC2086
  $emulator "$program" $bad "$scratch/psdtools__1layer.psd" >"$scratch/bad.txt" 2>&1
  code=$?
  if [ "$code" = 0 ] || [ "$code" = 1 ] || [ "$code" = 3 ]; then fail "$bad was accepted (exit $code)"; else echo "ok: $bad refused (exit $code)"; fi
done
exit $failed
