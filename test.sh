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

# The Debian package, unpacked into a scratch root as dpkg would install it: the installed
# programs must find the codec library where the package puts it, away from the build tree.
echo "== Debian package, run from a scratch root"
rm -f "$root"/build-package/packsmith_*.deb
packsmith_build "$root" "$root/build-package" -DCMAKE_BUILD_TYPE=Release -DPACKSMITH_TESTS=OFF \
    -DPACKSMITH_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr
cmake --build "$root/build-package" --target package
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$root"/build-package/packsmith_*.deb "$scratch/root"
"$scratch/root/usr/bin/packsmith-cli" --version
"$root/build-package/bin/packsmith-samples" "$scratch/samples"
# The image pack, since its pictures go through the codec library.
"$scratch/root/usr/bin/packsmith-cli" -q -o "$scratch/out" "$scratch/samples/sprites.at3"
test -s "$scratch/out/result.log"
test -n "$(find "$scratch/out" -name '*.tga' -print -quit)"
