#!/usr/bin/env bash
# Builds the tools and the benchmark programs in a Release build directory,
# writes the input shapes into a scratch directory, times d88cut and d88info
# against the floor program and cat on each, and prints one Markdown table.
# The scratch directory, with its 4 GiB sparse file, is removed at the end.
#
# Usage: bench/run.sh [BUILD_DIR] [ROUNDS]   (defaults: build-release, 15)
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${1:-$source_dir/build-release}
rounds=${2:-15}

cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=Release -DD88CUT_BUILD_BENCH=ON >/dev/null
cmake --build "$build_dir" -j2 --target d88cut d88info bench_floor make_shapes bench_driver >/dev/null

scratch=$(mktemp -d "${TMPDIR:-/tmp}/d88cut-bench.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/inputs"
"$build_dir/bench/make_shapes" "$scratch/inputs"
# The sparse file must not have taken gigabytes of disk.
allocated_kib=$(du -k "$scratch/inputs/sparse-4g.d88" | cut -f1)
if [ "$allocated_kib" -gt 1024 ]; then
  echo "the 4 GiB sparse input took ${allocated_kib} KiB of disk; this file system does not keep holes" >&2
  exit 1
fi

in=$scratch/inputs
# GOAL is the most tool/floor may be; CATROUNDS how often cat reads the file
# (reading the 4 GiB of holes takes seconds, so that file is read once).
"$build_dir/bench/bench_driver" --bin "$build_dir" --floor "$build_dir/bench/bench_floor" \
  --scratch "$scratch/runs" --rounds "$rounds" --warmup 2 \
  --input "1 Disk A + Disk B" "$in/sample.d88" 1.15 "$rounds" \
  --input "2 64 × Disk A" "$in/disk-a-x64.d88" 1.15 "$rounds" \
  --input "3 long chain" "$in/long-chain.d88" 2 "$rounds" \
  --input "4 long chain, 64 images" "$in/long-chain-x64.d88" 2 "$rounds" \
  --input "5 short chain, 64 images" "$in/short-chain-x64.d88" 2 "$rounds" \
  --input "6 sparse 4 GiB" "$in/sparse-4g.d88" 2 1 \
  --input "7 scattered starts" "$in/scattered-chain.d88" 2 "$rounds"
