#!/usr/bin/env bash
# Installs what is missing, builds, then runs the tool: with arguments, packsmith-cli with
# them; without, the window when there is a display to show it on, else the command line's
# usage.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/tools/setup.sh"

packsmith_install_missing >&2
packsmith_build "$root" >&2

bin="$root/build/bin"
if [ "${1:-}" = "--demo" ]; then
    # Sample files of every format in samples/, extracted into out/.
    "$bin/packsmith-samples" "$root/samples"
    for sample in chord.wac theme.was sprites.at3; do
        echo "== packsmith-cli -o out samples/$sample"
        "$bin/packsmith-cli" -o "$root/out" "$root/samples/$sample"
    done
    echo "== out/result.log (of the last run)"
    cat "$root/out/result.log"
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
