#!/usr/bin/env bash
# Builds the release preset, runs every benchmark once and writes bench/README.md: the figures of
# each benchmark, the comparison runs (spdlog, QSettings, rm -rf) as ratios measured in the same
# run, and a description of the machine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup-debian.sh
cmake --preset release >/dev/null
cmake --build --preset release
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
for bench in PellinLogBench FoundationSettingsBenchmark UserDefaultConfigurationLibBench PellinUninstallerBench; do
  echo "== $bench"
  # The removal pairs run repeatedly; interleaved, both sides of a pair see the same machine.
  interleave=false
  [ "$bench" = PellinUninstallerBench ] && interleave=true
  build/release/bin/$bench --benchmark_enable_random_interleaving=$interleave \
    --benchmark_format=console --benchmark_out_format=json \
    --benchmark_out="$results/$bench.json"
done
python3 scripts/bench-report.py "$results" > bench/README.md
echo "wrote bench/README.md"
