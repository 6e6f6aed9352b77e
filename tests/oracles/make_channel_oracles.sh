#!/usr/bin/env bash
# Writes the channel and merged image oracle files with psd-tools into OUTDIR
# (OUTDIR/channels, OUTDIR/merged). Without psd-tools nothing is written and
# the tests that read the files skip.
set -u
out=$1
corpus=$2
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$out"
mkdir -p "$out"
if [ -x /usr/bin/python3 ] && /usr/bin/python3 -c 'import psd_tools, numpy' 2>/dev/null; then
  /usr/bin/python3 "$here/psdtools_channels.py" "$out/channels" || echo "psdtools_channels.py failed"
  /usr/bin/python3 "$here/psdtools_merged.py" "$out/merged" "$corpus" || echo "psdtools_merged.py failed"
else
  echo "psd-tools is not installed for /usr/bin/python3: no oracle files"
fi
exit 0
