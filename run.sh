#!/usr/bin/env bash
# Installs what is missing, builds, then runs the tool: with arguments, packsmith-cli with
# them; without, the window when there is one and a display to show it on, else the
# command line's usage.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/tools/setup.sh"

packsmith_install_missing >&2
packsmith_build "$root" >&2

bin="$root/build/bin"
if [ $# -gt 0 ]; then
    exec "$bin/packsmith-cli" "$@"
fi
if [ -x "$bin/packsmith" ] && { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }; then
    exec "$bin/packsmith"
fi
exec "$bin/packsmith-cli" --help
