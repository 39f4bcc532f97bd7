#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/) in build-fuzz/ with clang and runs each
# for SECONDS, two at a time, from a working corpus seeded with fuzz/seeds and
# the test archives in tests/data. Prints, per target, the time run, the
# executions, the corpus size and whether it found anything; a finding's input
# is kept in build-fuzz/findings/<target>/ and its log beside it.
#   bench/fuzz/run.sh SECONDS [TARGET...]
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
seconds="${1:?usage: $0 SECONDS [TARGET...]}"
shift
all=(fuzz_pattern fuzz_item_file fuzz_command_line fuzz_listing fuzz_extraction fuzz_parallel_extraction fuzz_long_path
  fuzz_zip_fast_path)
[ $# -gt 0 ] && targets=("$@") || targets=("${all[@]}")

"$root/scripts/install-deps.sh" fuzz
build="$root/build-fuzz"
cmake -S "$root" -B "$build" -G Ninja -DPELLORA_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14 \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$build" -j2 "${targets[@]}"

# Input limits: names and command lines are short in real use, and the
# pattern target's 5 ms limit assumes texts of this size (matching is
# len(name) x len(pattern)); archives are small enough to run fast yet hold
# several entries.
max_len() {
  case "$1" in
    fuzz_pattern) echo 512 ;;
    fuzz_item_file) echo 8192 ;;
    fuzz_command_line | fuzz_long_path) echo 2048 ;;
    fuzz_listing | fuzz_zip_fast_path) echo 65536 ;;
    fuzz_extraction) echo 16384 ;;
    fuzz_parallel_extraction) echo 65536 ;;
  esac
}

# Seeds. The archive targets read a first byte that picks the library
# (value % 3: LZH, ZIP, CAB) and options (value / 3), so each test archive is
# seeded behind the byte of its own library, and the files that are no
# archive behind each. Extraction also gets the switches "skip damaged" and
# "extract again into what the first run left" (17 * 3 + kind).
seed() {
  local target="$1" corpus="$2"
  case "$target" in
    fuzz_listing | fuzz_extraction | fuzz_parallel_extraction)
      local kind file extra=""
      [ "$target" != fuzz_listing ] && extra=17
      for file in "$root"/tests/data/{lzh,zip,cab,misc}/*; do
        case "$file" in
          */lzh/*) kinds=(0) ;; */zip/*) kinds=(1) ;; */cab/*) kinds=(2) ;; *) kinds=(0 1 2) ;;
        esac
        for kind in "${kinds[@]}"; do
          for options in 0 $extra; do
            local byte=$((options * 3 + kind))
            { printf "\\x$(printf %02x "$byte")"; cat "$file"; } >"$corpus/seed-$byte-$(basename "$file")"
          done
        done
      done
      ;;
    fuzz_zip_fast_path)
      # The archive's bytes alone, no selector byte.
      cp "$root"/tests/data/zip/*.zip "$root"/tests/data/names/*.zip "$corpus/"
      ;;
    *) cp "$root/fuzz/seeds/${target#fuzz_}/"* "$corpus/" ;;
  esac
}

export TMPDIR="$build/tmp"
mkdir -p "$TMPDIR"
# Undefined behaviour aborts (it is built not to recover); leaks are findings.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:symbolize=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

run_one() {
  local target="$1"
  local corpus="$build/corpus/$target" findings="$build/findings/$target"
  mkdir -p "$corpus" "$findings"
  # A working corpus outside the repository keeps what earlier runs found.
  [ -n "$(ls -A "$corpus")" ] || seed "$target" "$corpus"
  local start end status=0
  start=$(date +%s)
  "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -max_len="$(max_len "$target")" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$findings/" >"$findings/log.txt" 2>&1 || status=$?
  end=$(date +%s)
  local execs finding
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$findings/log.txt" | tail -1)
  finding=$(grep -m1 -E '^==[0-9]+==ERROR|^\*\*\* broken|runtime error|ALARM|deadly signal|out-of-memory' \
    "$findings/log.txt" || true)
  local artifact
  artifact=$(sed -n 's/^.*Test unit written to //p' "$findings/log.txt" | tail -1)
  printf '%-18s %5ss  %12s execs  %6s corpus files  %s\n' "$target" "$((end - start))" "${execs:-?}" \
    "$(ls "$corpus" | wc -l)" \
    "$([ "$status" -eq 0 ] && echo "no finding" || echo "FINDING (exit $status): ${finding:-see log} ${artifact}")"
}

# Two at a time: the machine has two cores.
running=0
for target in "${targets[@]}"; do
  if [ "$running" -ge 2 ]; then
    wait -n || true
    running=$((running - 1))
  fi
  run_one "$target" &
  running=$((running + 1))
done
wait
