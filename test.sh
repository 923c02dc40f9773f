#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test. Exits non-zero on any failure.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/tools/setup.sh"

packsmith_install_missing
packsmith_build "$root"
ctest --test-dir "$root/build" --output-on-failure --parallel "$(nproc)" --timeout 300
