#!/usr/bin/env bash
# Installs what is missing, builds, then runs the tool: with arguments, packsmith-cli with
# them; without, the window when there is a display to show it on, else the command line's
# usage. --package builds the Debian package instead and prints its path; --windows the
# Windows programs, in a zip and an installer, and prints their paths.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/tools/setup.sh"

if [ "${1:-}" = "--windows" ]; then
    # The Windows programs: packsmith.exe and packsmith-cli.exe with the codec, Qt's and the
    # sound libraries' DLLs, the README and the licence texts, in a zip (and an installer),
    # paths printed. The first run on a machine builds Qt for Windows (tools/windows/qt.sh).
    packsmith_install_missing windows >&2
    rm -f "$root"/build-windows/build/packsmith-*-windows-x64.*
    packsmith_build_windows "$root" -DPACKSMITH_TESTS=OFF >&2
    (cd "$root/build-windows/build" && cpack >&2)
    ls "$root"/build-windows/build/packsmith-*-windows-x64.zip "$root"/build-windows/build/packsmith-*-windows-x64.exe 2>/dev/null
    exit 0
fi
packsmith_install_missing >&2
if [ "${1:-}" = "--package" ]; then
    # The Debian package, built apart from build/ so that its Release build and /usr prefix
    # do not disturb the day-to-day tree. A package of an older version is removed first,
    # so that the path printed is the one just built.
    rm -f "$root"/build-package/packsmith_*.deb
    packsmith_build "$root" "$root/build-package" -DCMAKE_BUILD_TYPE=Release -DPACKSMITH_TESTS=OFF \
        -DPACKSMITH_BENCH=OFF -DCMAKE_INSTALL_PREFIX=/usr >&2
    cmake --build "$root/build-package" --target package >&2
    ls "$root"/build-package/packsmith_*.deb
    exit 0
fi
packsmith_build "$root" >&2

bin="$root/build/bin"
if [ "${1:-}" = "--demo" ]; then
    # Sample files of every format in samples/, extracted into out/.
    "$bin/packsmith-samples" "$root/samples"
    echo "== packsmith-cli --list samples/sprites.at3"
    "$bin/packsmith-cli" --list "$root/samples/sprites.at3"
    for sample in chord.wac theme.was sprites.at3; do
        echo "== packsmith-cli -o out samples/$sample"
        "$bin/packsmith-cli" -o "$root/out" "$root/samples/$sample"
    done
    echo "== out/result.log (of the last run)"
    cat "$root/out/result.log"
    # The whole cycle: one picture edited (a white line across its top row), the log
    # replayed, the rebuilt pack listed beside the original.
    picture="$root/out/BMP/TITLE.BMP.tga"
    echo "== edit: a white line across the top of out/BMP/TITLE.BMP.tga"
    head -c 256 /dev/zero | tr '\0' '\377' | dd of="$picture" bs=1 seek=18 conv=notrunc status=none
    echo "== packsmith-cli -o out/rebuilt out/result.log"
    "$bin/packsmith-cli" -o "$root/out/rebuilt" "$root/out/result.log"
    echo "== packsmith-cli --list out/rebuilt/sprites.at3"
    "$bin/packsmith-cli" --list "$root/out/rebuilt/sprites.at3"
    echo "== sizes: samples/sprites.at3 $(stat -c %s "$root/samples/sprites.at3") bytes," \
        "out/rebuilt/sprites.at3 $(stat -c %s "$root/out/rebuilt/sprites.at3") bytes"
    exit 0
fi
if [ $# -gt 0 ]; then
    exec "$bin/packsmith-cli" "$@"
fi
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$bin/packsmith"
fi
echo "No display available (neither DISPLAY nor WAYLAND_DISPLAY is set), so no window; the command line's usage follows." >&2
exec "$bin/packsmith-cli" --help
