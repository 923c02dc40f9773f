#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/tools/setup.sh"

packsmith_install_missing
packsmith_build "$root"
ctest --test-dir "$root/build" --output-on-failure --parallel "$(nproc)" --timeout 300

# The same tests once more under AddressSanitizer and UndefinedBehaviorSanitizer: any finding
# fails its test.
echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
packsmith_build "$root" "$root/build-sanitize" -DPACKSMITH_SANITIZE=ON
ctest --test-dir "$root/build-sanitize" --output-on-failure --parallel "$(nproc)" --timeout 600

# Every fuzz corpus replayed and each fuzz target run with a fixed seed: any finding fails.
echo "== Fuzz targets (fixed seed)"
"$root/fuzz/run.sh" --smoke
