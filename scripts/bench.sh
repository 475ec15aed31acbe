#!/usr/bin/env bash
# Benchmarks the tool, with data it makes in a temporary folder on the disk
# under BENCH_DIR (default /var/tmp): whole-process figures against cp and a
# plain buffered converter, then the in-process conversion against memcpy.
# --quick runs two small scenarios only.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/ensure-packages.sh cmake ninja-build g++ libgtest-dev libbenchmark-dev
cmake --preset release >/dev/null
cmake --build --preset release >/dev/null

data=$(mktemp -d -p "${BENCH_DIR:-/var/tmp}" zembrel-bench-XXXXXX)
trap 'rm -rf "$data"' EXIT
echo "$(date -u +%F), $(nproc) cores, $(free -g | awk '/^Mem:/ {print $2}') GiB memory, $(uname -sr)"
echo
build/release/bench/whole_process_bench --tool=build/release/ZembrelLib2Test \
  --plain=build/release/bench/plain_convert --dir="$data" "$@"
echo
build/release/bench/convert_benchmark --benchmark_min_time=0.5
