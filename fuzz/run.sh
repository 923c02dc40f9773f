#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer
# included) and runs them.
#   fuzz/run.sh --smoke    every corpus replayed, then each target with a fixed seed and a
#                          fixed number of runs: the same work every time (test.sh runs it)
#   fuzz/run.sh SECONDS    each target for SECONDS with a random seed; new inputs are kept
#                          in build-fuzz/corpus/, findings in build-fuzz/findings/
# Exits non-zero on any finding. (The fuzzer's status is taken from the pipeline itself: after
# "|| true" the status array would be that of true.)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPACKSMITH_FUZZ=ON >/dev/null
cmake --build "$build" --parallel "$(nproc)"

# target and its fixed number of runs for the smoke run (about 5 to 20 seconds each here)
targets=(wac_block:1000000 was_chunk:300000 image_record:100000 image_compress:1000 tga_read:2000 pack_reader:2000 replay:20000 sound_stream:8000)
mkdir -p "$build/findings"
for entry in "${targets[@]}"; do
    name="${entry%%:*}"
    runs="${entry##*:}"
    work="$build/corpus/$name"
    mkdir -p "$work"
    echo "== $name"
    if [ "${1:-}" = "--smoke" ]; then
        # New inputs go to a scratch directory, so every smoke run starts from the same seeds.
        scratch="$(mktemp -d)"
        status=0
        "$build/bin/${name}_fuzz" -seed=1 -runs="$runs" -artifact_prefix="$build/findings/$name-" \
            "$scratch" "$root/fuzz/corpus/$name" 2>&1 | { grep -E "INITED|DONE|ERROR|SUMMARY" || true; } || status=$?
        rm -rf "$scratch"
    else
        status=0
        "$build/bin/${name}_fuzz" -max_total_time="${1:-60}" -artifact_prefix="$build/findings/$name-" \
            "$work" "$root/fuzz/corpus/$name" 2>&1 | { grep -E "INITED|DONE|ERROR|SUMMARY" || true; } || status=$?
    fi
    if [ "$status" -ne 0 ]; then
        echo "fuzz: $name found a failure (see $build/findings/)" >&2
        exit 1
    fi
done
