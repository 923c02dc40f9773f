#!/usr/bin/env bash
# Cross-builds Qt for Windows from Debian's own source packages with the mingw-w64 toolchain,
# taking the host tools (moc, rcc, uic, ...) from the machine's own Qt of the same version,
# and only what the window uses: Core, Gui, Widgets, Test, the windows and offscreen
# platforms, the Windows style; Network and Multimedia for playing sound. No OpenGL, SQL or
# D-Bus. It goes into a cache outside the checkout, keyed by Qt's version and these options,
# so that it is built once per machine (23 minutes on two cores, measured) and reused by every
# later build of any checkout; concurrent callers wait for the one that builds it.
#
#   tools/windows/qt.sh            builds Qt when the cache lacks it, then prints its prefix
#   tools/windows/qt.sh --where    prints the prefix it would use, building nothing
#
# The cache is under $PACKSMITH_CACHE, else $XDG_CACHE_HOME/packsmith, else ~/.cache/packsmith.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
version=6.4.2
host_cmake=/usr/lib/x86_64-linux-gnu/cmake

# Everything that changes what is built is in these lists or in the recipe's revision, and
# so in the cache's key.
recipe=1
base_options=(
    -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_pkg_config=OFF -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_xml=OFF -DFEATURE_network=ON -DFEATURE_testlib=ON -DFEATURE_tabletevent=OFF
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_openssl=OFF -DFEATURE_tuiotouch=OFF
    -DFEATURE_gif=OFF -DFEATURE_jpeg=OFF -DFEATURE_sspi=OFF -DFEATURE_networklistmanager=OFF
)
# mingw names the Media Foundation libraries in lower case, where Qt looks for capitals.
mingw_lib=/usr/x86_64-w64-mingw32/lib
multimedia_options=(
    -DCMAKE_BUILD_TYPE=Release -DFEATURE_ffmpeg=OFF -DFEATURE_gstreamer=OFF -DFEATURE_spatialaudio=OFF
    -DFEATURE_spatialaudio_quick3d=OFF -DWMF_MF_LIBRARY=$mingw_lib/libmf.a -DWMF_MFUUID_LIBRARY=$mingw_lib/libmfuuid.a
    -DWMF_MFPLAT_LIBRARY=$mingw_lib/libmfplat.a -DWMF_MFCORE_LIBRARY=$mingw_lib/libmfcore.a
    -DWMF_PROPSYS_LIBRARY=$mingw_lib/libpropsys.a
)
# The changes this build makes to Qt's sources (tools/windows/qt-patches/SOURCE-*.patch).
patches="$root/tools/windows/qt-patches"
key="$( (printf '%s\n' "$version" "$recipe" "${base_options[@]}" -- "${multimedia_options[@]}"; cat "$patches"/*.patch) |
    sha256sum | cut -c1-12)"
cache="$(realpath -m "${PACKSMITH_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/packsmith}")"
prefix="$cache/qt-$version-windows-x64-$key"
if [ "${1:-}" = --where ] || [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/qt-$version-$key.lock"
echo "Qt $version for Windows is not in the cache ($prefix): building it, which takes about half an hour" >&2
flock 9
if [ -f "$prefix/.complete" ]; then # built by whoever held the lock
    echo "$prefix"
    exit 0
fi
# Everything below goes to stderr: the prefix on stdout is the script's answer.
exec 3>&1 1>&2
work="$cache/qt-$version-work"
# A build stopped half-way goes on where it stopped: each module's build directory is kept
# until the whole is done.
mkdir -p "$work/src" "$work/build-$key"

source "$root/tools/windows/debian-sources.sh"
debian_sources_fetch "$work/src" qt6-base qt6-multimedia
base="$(debian_source_of "$work/src" qt6-base)"
multimedia="$(debian_source_of "$work/src" qt6-multimedia)"
for source in "$base" "$multimedia"; do
    # The patches of this recipe, on a source unpacked afresh when it holds other ones.
    name="$(basename "$source" | sed 's/-[0-9].*//')"
    wanted="$( { cat "$patches/$name"-*.patch 2>/dev/null || true; } | sha256sum | cut -c1-12)"
    if [ "$(cat "$source/.patched" 2>/dev/null)" != "$wanted" ]; then
        if [ -f "$source/.patched" ]; then
            rm -rf "$source"
            (cd "$work/src" && dpkg-source -x "$(ls "$name"_*.dsc)" "$source" >/dev/null)
        fi
        for patch in "$patches/$name"-*.patch; do
            if [ -f "$patch" ]; then patch -d "$source" -p1 -s <"$patch"; fi
        done
        echo "$wanted" >"$source/.patched"
    fi
    if [ "$(basename "$source" | sed -e 's/^[^-]*-[^-]*-//' -e 's/+.*//')" != "$version" ]; then
        echo "error: $source is not Qt $version, the version of the machine's own Qt" >&2
        exit 1
    fi
done

toolchain=(-G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix"
           -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake" -Wno-dev)
started=$SECONDS
module() { # name, source, then CMake options
    local name="$1" source="$2" dir="$work/build-$key/$1"
    shift 2
    [ -f "$dir.done" ] && return 0
    echo "== $name (its output: $dir.log)"
    if ! { { [ -f "$dir/build.ninja" ] || cmake -S "$source" -B "$dir" "${toolchain[@]}" "$@"; } &&
           cmake --build "$dir" --parallel "$(nproc)" && cmake --install "$dir" --strip; } >"$dir.log" 2>&1; then
        tail -n 40 "$dir.log"
        echo "error: building Qt's $name failed; the whole output is in $dir.log" >&2
        exit 1
    fi
    touch "$dir.done"
}
module qtbase "$base" "${base_options[@]}"
# The toolchain looks for libraries under PACKSMITH_WINDOWS_PREFIX: Qt's own, now.
module qtmultimedia "$multimedia" -DPACKSMITH_WINDOWS_PREFIX="$prefix" "${multimedia_options[@]}"

# The licence texts, to ship beside the DLLs: Qt's own and Debian's summary of who holds what.
mkdir -p "$prefix/share/licences/qt6-base" "$prefix/share/licences/qt6-multimedia"
for source in "$base" "$multimedia"; do
    name="$(basename "$source" | sed 's/-[0-9].*//')"
    find "$source" -maxdepth 2 -path '*LICENSES/*' -type f -exec cp {} "$prefix/share/licences/$name/" \;
    cp "$source/debian/copyright" "$prefix/share/licences/$name/copyright"
done
echo "Qt $version for Windows built in $(( (SECONDS - started) / 60 )) min into $prefix"
touch "$prefix/.complete"
rm -rf "$work/build-$key"
echo "$prefix" >&3
