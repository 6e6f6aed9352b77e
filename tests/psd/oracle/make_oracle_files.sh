#!/usr/bin/env bash
# Writes layered PSD files with independent tools, each with what the tool
# says it wrote, into OUTDIR. A missing tool leaves its files out; the tests
# that need them then skip.
set -u
out=$1
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$out"
rm -f "$out"/psdtools_layered.* "$out"/imagemagick_layered.*

if [ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import psd_tools' 2>/dev/null; then
  /usr/bin/python3 "$here/psdtools_layered.py" "$out/psdtools_layered.psd" >"$out/psdtools_layered.json.tmp" &&
    mv "$out/psdtools_layered.json.tmp" "$out/psdtools_layered.json"
else
  echo "psd-tools is not installed for /usr/bin/python3: its files are left out"
fi

if command -v convert >/dev/null && command -v identify >/dev/null; then
  # The first image is the merged image; the others are layers with names and offsets.
  convert -size 16x12 xc:'rgb(10,20,30)' \
    \( -size 8x6 xc:red -set label 'red läyer' -repage +2+3 \) \
    \( -size 4x4 xc:'rgba(0,0,255,0.5)' -set label 'blue ☂' -repage +5+1 \) \
    \( -size 3x2 xc:'rgb(0,200,0)' -set label 'Grün' -repage +12+9 \) \
    -depth 8 -compress RLE "$out/imagemagick_layered.psd" &&
    identify -format '%l|%w|%h|%X|%Y\n' "$out/imagemagick_layered.psd" >"$out/imagemagick_layered.txt.tmp" 2>/dev/null &&
    mv "$out/imagemagick_layered.txt.tmp" "$out/imagemagick_layered.txt"
else
  echo "ImageMagick is not installed: its files are left out"
fi
exit 0
