#!/usr/bin/env bash
# kavri-import's outcome on real files: exit code and the reader's message.
set -u
emulator=$1   # empty, or the program that runs the Windows build (wine)
program=$2
corpus=$3
scratch=$4
mkdir -p "$scratch"
failed=0
run() { # expected-exit file [grep pattern for standard output]
  local expected=$1 file=$2 pattern=${3:-}
  local out
  $emulator "$program" "$file" >"$scratch/stdout.txt" 2>"$scratch/stderr.txt"
  local code=$?
  out=$(tr -d '\r' <"$scratch/stdout.txt")
  if [ "$code" != "$expected" ]; then
    echo "FAIL: $file exited $code, expected $expected"; cat "$scratch/stderr.txt"; failed=1
  elif [ -n "$pattern" ] && ! printf '%s' "$out" | grep -qF -- "$pattern"; then
    echo "FAIL: $file: standard output lacks: $pattern"; printf 'got: %s\n' "$out"; failed=1
  else
    echo "ok: $file exited $code"
  fi
}
# Images are written beside the file: import copies, never the corpus itself.
cp "$corpus/psdtools__1layer.psd" "$scratch/1layer.psd"
cp "$corpus/psdtools__1layer.psd" "$scratch/x.PSD"
printf 'NOTAPSD-FILE-AT-ALL-xxxxxxxxxxxxxxxxxxxxxx' > "$scratch/bad.psd"
run 0 "$scratch/1layer.psd"
run 1 "$scratch/x.PSD"
run 1 "$scratch/bad.psd" '***ERROR*** [PsdExtract] File seems to be corrupt, signature does not match "8BPS".'
run 1 "$scratch/missing.psd" '***ERROR*** [NativeFile] Cannot obtain handle for file'
# A module that is not there is the host's own failure.
$emulator "$program" --module "$scratch/no-such-module" "$scratch/1layer.psd" >/dev/null 2>&1
code=$?
if [ "$code" != 2 ]; then echo "FAIL: a missing module exited $code, expected 2"; failed=1; else echo "ok: missing module exited 2"; fi
exit $failed
