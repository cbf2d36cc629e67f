#!/usr/bin/env bash
# Builds the release preset, makes the benchmark data (once) and runs both benchmarks:
# the codec against general-purpose decoders, then whole-process extraction against common
# archivers. Results go to the terminal and to build/bench-results/.
#
#   scripts/bench.sh [--runs N]
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"
runs=5
if [ "${1:-}" = "--runs" ]; then runs=${2:?}; fi

scripts/install-deps.sh
build=${BENCH_BUILD:-build/release}
cmake --preset release -B "$build" >/dev/null
cmake --build "$build" -j2 --target peers_bench filespack

bench/make-data.sh build/bench-data
results=build/bench-results
mkdir -p "$results"
# One core for the codec benchmark too, so that both measure the same thing.
taskset -c "${BENCH_CORE:-1}" "$build/bench/peers_bench" --runs "$runs" build/bench-data/files |
    tee "$results/peers.txt"
echo
bench/compare-extract.sh "$build/tools/filespack/filespack" build/bench-data "$runs" |
    tee "$results/extract.txt"
