#!/usr/bin/env bash
# Builds the benchmarks in Release and runs them all, then prints each speed target of the
# tool beside what this machine measured: decoders beside memcpy of the same bytes,
# extraction beside tar -x and rebuilding beside tar -c of the same files, on one thread
# and on one per core. Figures vary from run to run on a shared machine; the ratios, taken
# in one run, vary less.
#
#   bench/run.sh [--quick]      --quick: one repetition instead of five
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/tools/setup.sh"
packsmith_build_release "$root"
build="$root/build-release"

repetitions=5
[ "${1:-}" = "--quick" ] && repetitions=1
results="$build/bench-results"
rm -rf "$results"
mkdir -p "$results"
for bench in audio_bench image_bench pack_bench; do
    echo "== $bench" >&2
    "$build/bin/$bench" --benchmark_repetitions="$repetitions" --benchmark_report_aggregates_only=true \
        --benchmark_out="$results/$bench.json" --benchmark_out_format=json >&2
done
python3 "$root/bench/ratios.py" "$results"
