#!/usr/bin/env bash
# Cross-builds the sound libraries for Windows from Debian's own source packages: libogg,
# FLAC, libvorbis and Opus (static, into libsndfile), libsndfile and libsoxr (as DLLs),
# installed into PREFIX (default build-windows/deps), from the sources debian-sources.sh fetches.
# Does nothing when PREFIX already holds them.
#   tools/windows/sound-libs.sh [PREFIX]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
prefix="$(realpath -m "${1:-$root/build-windows/deps}")"
[ -f "$prefix/.complete" ] && exit 0
cache="$prefix/../deps-cache"
mkdir -p "$prefix" "$cache/src" "$cache/build"
cache="$(realpath "$cache")"

source "$root/tools/windows/debian-sources.sh"
packages=(libogg flac libvorbis opus libsndfile libsoxr)
debian_sources_fetch "$cache/src" "${packages[@]}"
source_of() { debian_source_of "$cache/src" "$1"; }

toolchain="$root/tools/windows/mingw-w64.cmake"
build() { # name, then CMake options
    local name="$1"; shift
    echo "== $name"
    cmake --fresh -S "$(source_of "$name")" -B "$cache/build/$name" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DPACKSMITH_WINDOWS_PREFIX="$prefix" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DBUILD_TESTING=OFF -Wno-dev -Wno-deprecated "$@" >/dev/null
    cmake --build "$cache/build/$name" --parallel "$(nproc)" >/dev/null
    cmake --install "$cache/build/$name" --strip >/dev/null
}
# Opus 1.3's released CMake files are incomplete; its configure script is not.
configure() { # name, then configure's options
    local name="$1"; shift
    echo "== $name"
    rm -rf "$cache/build/$name" # make would keep objects built with other flags
    mkdir -p "$cache/build/$name"
    (cd "$cache/build/$name" && "$(source_of "$name")/configure" --host=x86_64-w64-mingw32 --prefix="$prefix" \
        CC=x86_64-w64-mingw32-gcc-posix "$@" >/dev/null && make -j"$(nproc)" >/dev/null && make install >/dev/null)
}
static=(-DBUILD_SHARED_LIBS=OFF)
build libogg "${static[@]}" -DINSTALL_DOCS=OFF
build flac "${static[@]}" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOCS=OFF -DBUILD_CXXLIBS=OFF \
    -DINSTALL_MANPAGES=OFF -DWITH_OGG=ON -DWITH_STACK_PROTECTOR=OFF -DWITH_FORTIFY_SOURCE=OFF
build libvorbis "${static[@]}"
# mingw keeps the stack and buffer checks in a library of their own (ssp), which the DLL
# would then need as well; the codecs linked into it are built without them.
configure opus --disable-shared --enable-static --disable-doc --disable-extra-programs --disable-stack-protector \
    CPPFLAGS=-D_FORTIFY_SOURCE=0
# The DLLs carry what they need: the C runtime's and the codecs' code.
shared=(-DBUILD_SHARED_LIBS=ON "-DCMAKE_SHARED_LINKER_FLAGS=-static-libgcc -static")
# FLAC is linked in statically, which its header must know.
build libsndfile "${shared[@]}" -DBUILD_PROGRAMS=OFF -DBUILD_EXAMPLES=OFF -DENABLE_EXTERNAL_LIBS=ON \
    -DENABLE_MPEG=OFF -DENABLE_CPACK=OFF -DINSTALL_MANPAGES=OFF -DENABLE_PACKAGE_CONFIG=ON -DCMAKE_C_FLAGS=-DFLAC__NO_DLL
build libsoxr "${shared[@]}" -DWITH_OPENMP=OFF -DWITH_LSR_BINDINGS=OFF -DBUILD_EXAMPLES=OFF
# libsoxr writes its pkg-config file on other systems only.
version="$(basename "$(source_of libsoxr)")"
cat > "$prefix/lib/pkgconfig/soxr.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: soxr
Description: High quality, one-dimensional sample-rate conversion library
Version: ${version#libsoxr-}
Libs: -L\${libdir} -lsoxr
Cflags: -I\${includedir}
EOF
# The licence texts of what goes into the DLLs, to ship beside them: each package's own
# files and Debian's summary of who holds what.
for name in "${packages[@]}"; do
    source="$(source_of "$name")"
    mkdir -p "$prefix/share/licences/$name"
    find "$source" -maxdepth 1 -type f \( -name 'COPYING*' -o -name 'LICEN[CS]E*' -o -name AUTHORS \) \
        -exec cp {} "$prefix/share/licences/$name/" \;
    cp "$source/debian/copyright" "$prefix/share/licences/$name/copyright"
done
touch "$prefix/.complete"
