# Shared by run_bounded.sh and run_long.sh: the seed folder and the options of
# each harness. Source it; it defines prepare_seeds and harness_options.
fuzz_dir="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# prepare_seeds HARNESS CORPUS_DIR DEST: copies the harness's seeds into DEST.
# The PSD harnesses start from the project's own fixtures and sample and from
# the corpus files small enough to run many times over (the import harness
# writes image files for every layer, so it takes smaller ones).
prepare_seeds() {
  local harness=$1 corpus=$2 dest=$3 limit
  mkdir -p "$dest"
  case $harness in
    decoders) cp "$fuzz_dir"/seeds/decoders/* "$dest"/ ;;
    reader) limit=160000 ;;
    import) limit=40000 ;;
  esac
  if [ "$harness" != decoders ]; then
    cp "$fuzz_dir"/seeds/psd/* "$dest"/
    if [ "$harness" = reader ]; then cp "$fuzz_dir"/../samples/landscape.psd "$dest"/; fi
    find "$corpus" -maxdepth 1 \( -name '*.psd' -o -name '*.psb' \) -size -"${limit}"c -exec cp {} "$dest"/ \;
  fi
  if [ -d "$fuzz_dir/../tests/regressions/$harness" ]; then
    find "$fuzz_dir/../tests/regressions/$harness" -type f -exec cp {} "$dest"/ \;
  fi
}

# harness_options HARNESS: libFuzzer options every run of the harness takes.
# The reader's diagnostics go to standard output, which is closed (fd mask 1).
harness_options() {
  local common="-close_fd_mask=1 -rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=30 -print_final_stats=1"
  case $1 in
    decoders) echo "$common -max_len=70000" ;;
    reader) echo "$common -max_len=200000 -dict=$fuzz_dir/psd.dict" ;;
    import) echo "$common -max_len=60000 -dict=$fuzz_dir/psd.dict" ;;
  esac
}

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
