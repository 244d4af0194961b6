#!/usr/bin/env bash
# Runs each fuzz target in turn, one process at a time, for SECONDS each,
# starting from the generated seeds and whatever earlier runs in the same
# build directory kept. Any finding fails the script; the input that caused
# it is left in BUILD_DIR/fuzz/findings/TARGET/.
#
# Usage: fuzz/run_fuzzers.sh SECONDS [BUILD_DIR]   (BUILD_DIR: build-fuzz)
set -euo pipefail

seconds=${1:?"Usage: $0 SECONDS [BUILD_DIR]"}
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${2:-build-fuzz}" && pwd)

passed=0
for target in reader_fuzzer run_fuzzer report_fuzzer; do
  corpus=$build/fuzz/corpus/$target
  findings=$build/fuzz/findings/$target
  log=$build/fuzz/$target.log
  mkdir -p "$corpus" "$findings"
  flags=(-max_total_time="$seconds" -timeout=30 -rss_limit_mb=2048 -print_final_stats=1
         -dict="$here/d88.dict" -artifact_prefix="$findings/")
  if [ "$target" = run_fuzzer ]; then
    # The tool reports on standard error; libFuzzer keeps its own copy of it.
    flags+=(-close_fd_mask=2)
  fi
  echo "== $target: $seconds s, corpus $corpus"
  if ! "$build/fuzz/$target" "${flags[@]}" "$corpus" "$build/fuzz/seeds" >"$log" 2>&1; then
    tail -n 40 "$log"
    echo "== $target found a fault; its input: $(ls "$findings")"
    exit 1
  fi
  grep -E '^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::' "$log"
  echo "== $target: corpus of $(find "$corpus" -type f | wc -l) inputs, no finding"
  passed=$((passed + 1))
done
echo "fuzz: $passed passed, 0 failed"
