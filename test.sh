#!/usr/bin/env bash
# Installs what is missing, builds into build/ and runs every test. Exits non-zero on any failure.
#
#   ./test.sh          what CI runs: the tests in a plain build, again under AddressSanitizer
#                      and UndefinedBehaviorSanitizer, the threaded jobs under ThreadSanitizer,
#                      the fuzz targets, the Debian package, and the Windows build: its tests
#                      (the window's among them) under Wine, its outputs compared with Linux's,
#                      its zip and its installer (about 25 minutes on two cores, and Qt for
#                      Windows once per machine: tools/windows/qt.sh)
#   ./test.sh --quick  the layer check and every test in the plain build only (one build)
set -euo pipefail
quick=false
case "${1:-}" in
    "") ;;
    --quick) quick=true ;;
    -h | --help) sed -n '2,8s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "usage: ./test.sh [--quick]" >&2; exit 2 ;;
esac
root="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$root/tools/setup.sh"

# Playing sound needs a sound output, which a build machine usually lacks: the tests get a
# sound server of their own with a null output, private to this script (its socket, home and
# runtime directory in a scratch directory, so that it also starts as root and beside a
# desktop's own server), named to the tests in PULSE_SERVER and stopped when they are done.
start_null_sound_output() {
    sound_dir="$(mktemp -d)"
    mkdir -m 700 "$sound_dir/home" "$sound_dir/runtime"
    HOME="$sound_dir/home" XDG_RUNTIME_DIR="$sound_dir/runtime" XDG_CONFIG_HOME="$sound_dir/home/.config" \
        pulseaudio --daemonize=no --system=false --exit-idle-time=-1 --use-pid-file=no -n \
        --realtime=no --high-priority=no --disable-shm=yes \
        -L "module-null-sink sink_name=null" \
        -L "module-native-protocol-unix auth-anonymous=1 socket=$sound_dir/socket" \
        >"$sound_dir/log" 2>&1 &
    sound_pid=$!
    trap stop_null_sound_output EXIT
    local waited=0
    until [ -S "$sound_dir/socket" ]; do
        if ! kill -0 "$sound_pid" 2>/dev/null || [ $waited -ge 100 ]; then
            echo "error: the null sound output for the tests did not start:" >&2
            cat "$sound_dir/log" >&2
            return 1
        fi
        sleep 0.1
        waited=$((waited + 1))
    done
    export PULSE_SERVER="unix:$sound_dir/socket"
}
stop_null_sound_output() {
    if [ -n "${sound_pid:-}" ]; then
        kill "$sound_pid" 2>/dev/null || true
        wait "$sound_pid" 2>/dev/null || true
        sound_pid=""
    fi
    [ -n "${sound_dir:-}" ] && rm -rf "$sound_dir"
    unset PULSE_SERVER
    trap - EXIT
}

if $quick; then packsmith_install_missing; else packsmith_install_missing windows; fi
# The includes against the layers of the tree, before anything is built.
echo "== Layers"
python3 "$root/tools/check_layers.py"
packsmith_build "$root"
start_null_sound_output
ctest --test-dir "$root/build" --output-on-failure --parallel "$(nproc)" --timeout 300
if $quick; then
    echo "== Quick run passed: './test.sh' adds the sanitizer builds, the fuzz targets and the package, as CI runs them"
    exit 0
fi

# The same tests once more under AddressSanitizer and UndefinedBehaviorSanitizer: any finding
# fails its test.
echo "== Tests under AddressSanitizer and UndefinedBehaviorSanitizer"
packsmith_build "$root" "$root/build-sanitize" -DPACKSMITH_SANITIZE=ON
ctest --test-dir "$root/build-sanitize" --output-on-failure --parallel "$(nproc)" --timeout 600
stop_null_sound_output

# The job pipeline's tests under ThreadSanitizer, the one place where every job's threads
# meet, and the tests of the jobs that share their work over it: any data race reported
# fails the run. Only those tests are built, without the window.
echo "== Pipeline and job tests under ThreadSanitizer"
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPACKSMITH_WERROR="$([ "${CI:-}" = "true" ] && echo ON || echo OFF)" \
    -DPACKSMITH_TSAN=ON -DPACKSMITH_WINDOW=OFF -DPACKSMITH_BENCH=OFF
tsan_tests=(pipeline_test image_extraction_test replay_test audio_extraction_test pack_sound_test)
cmake --build "$root/build-tsan" --target "${tsan_tests[@]}" targa
for test in "${tsan_tests[@]}"; do
    TSAN_OPTIONS=halt_on_error=1 "$root/build-tsan/bin/$test"
done

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

# Both programs on Windows, cross-built with mingw-w64: the test programs that make sense
# there under Wine (tests/CMakeLists.txt says which are Linux's alone, and why), then the
# same commands through both builds with every output compared (tools/windows/compare.sh),
# then the zip, unpacked and run from where it was unpacked, and the installer.
echo "== Windows build: tests under Wine, the comparison with Linux, the zip"
rm -f "$root"/build-windows/build/packsmith-*-windows-x64.*
packsmith_build_windows "$root" -DPACKSMITH_TESTS=ON
packsmith_wine_environment "$root"
ctest --test-dir "$root/build-windows/build" --output-on-failure --parallel "$(nproc)" --timeout 600
"$root/tools/windows/compare.sh" "$root/build/bin" "$root/build-windows/build/bin"
(cd "$root/build-windows/build" && cpack -G ZIP >/dev/null)
mkdir "$scratch/windows"
(cd "$scratch/windows" && python3 -m zipfile -e "$root"/build-windows/build/packsmith-*-windows-x64.zip .)
unpacked="$(echo "$scratch"/windows/packsmith-*-windows-x64)"
# The codec exports its two entry points and nothing else.
exports="$(x86_64-w64-mingw32-objdump -p "$unpacked/targa.dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/s/^\s*\[ *[0-9]*\] //p' | tr '\n' ' ')"
[ "$exports" = "ReadTGA WriteTGA " ] || { echo "error: targa.dll exports: $exports" >&2; exit 1; }
wine "$unpacked/packsmith-cli.exe" --version
wine "$unpacked/packsmith-cli.exe" -q -o "$scratch/windows/out" "$scratch/samples/sprites.at3"
test -n "$(find "$scratch/windows/out" -name '*.tga' -print -quit)"
# The window from the zip, started with a pack to show: it must come up with what the zip
# holds alone (a DLL missing ends it at once, a plugin missing too) and still be running
# when it is ended after a while. Every library it loads comes from the zip or the system.
status=0
(cd "$scratch" && WINEDEBUG=+loaddll timeout 30 wine "$unpacked/packsmith.exe" "$scratch/samples/sprites.at3" \
    >"$scratch/window.log" 2>&1) || status=$?
if [ $status -ne 124 ] || ! grep -qF 'plugins\\platforms\\qwindows.dll' "$scratch/window.log" ||
    ! grep -qF 'plugins\\styles\\qwindowsvistastyle.dll' "$scratch/window.log"; then
    echo "error: the window from the zip did not come up (status $status):" >&2
    grep -v 'trace:loaddll' "$scratch/window.log" | tail -n 20 >&2
    exit 1
fi
zip_folder="$(winepath -w "$unpacked")"
strays="$(grep ': native$' "$scratch/window.log" | grep -v -F "${zip_folder//\\/\\\\}" || true)"
[ -z "$strays" ] || { echo "error: the window loaded libraries from outside the zip:" >&2; echo "$strays" >&2; exit 1; }
# The installer, silently into Wine's Program Files with each PATH option, its shortcut, file
# types, uninstall entry and PATH, the programs' resources, and the uninstaller taking it all
# away again (tools/windows/check-installer.sh).
(cd "$root/build-windows/build" && cpack -G NSIS >/dev/null)
"$root/tools/windows/check-installer.sh" "$root/build-windows/build"
