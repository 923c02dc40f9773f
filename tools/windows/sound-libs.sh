#!/usr/bin/env bash
# Cross-builds the sound libraries for Windows from Debian's own source packages: libogg,
# FLAC, libvorbis and Opus (static, into libsndfile), libsndfile and libsoxr (as DLLs),
# installed into PREFIX (default build-windows/deps). The sources come with `apt-get source`
# through a private sources list under the cache, leaving the machine's own lists alone.
# Does nothing when PREFIX already holds them.
#   tools/windows/sound-libs.sh [PREFIX]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
prefix="$(realpath -m "${1:-$root/build-windows/deps}")"
[ -f "$prefix/.complete" ] && exit 0
cache="$prefix/../deps-cache"
mkdir -p "$prefix" "$cache/lists/partial" "$cache/src" "$cache/build"
cache="$(realpath "$cache")"

# The same archive and suite as the machine's own packages, for sources only: the address
# is the one the machine's apt configuration gives for its suite's main component (deb822
# .sources files, or one-line lists), never one written here.
suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"
archive_of_suite() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        # Blocks of fields, a blank line between: the first whose suites and components fit.
        awk -v suite="$1" '
            function fits() { return types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ") && (" " comps " ") ~ / main / }
            function done() { if (uri != "" && fits()) { print uri, signed; exit 0 } uri = types = suites = comps = signed = "" }
            /^[ \t]*$/ { done(); next }
            /^[ \t]*#/ { next }
            tolower($1) == "types:" { $1 = ""; types = $0 }
            tolower($1) == "uris:" { uri = $2 }
            tolower($1) == "suites:" { $1 = ""; suites = $0 }
            tolower($1) == "components:" { $1 = ""; comps = $0 }
            tolower($1) == "signed-by:" { signed = $2 }
            END { done() }' "$file"
    done
    for file in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$file" ] || continue
        # deb [options] URI suite components...
        sed -e 's/#.*//' -e 's/\[[^]]*\]//' "$file" |
            awk -v suite="$1" '$1 == "deb" && $3 == suite { for (i = 4; i <= NF; i++) if ($i == "main") { print $2; exit 0 } }'
    done
}
read -r archive keyring < <(archive_of_suite "$suite" | head -n 1) || true
if [ -z "${archive:-}" ]; then
    echo "error: the machine's apt configuration names no archive for $suite main; the sound libraries' sources come from there" >&2
    exit 1
fi
echo "deb-src [signed-by=${keyring:-/usr/share/keyrings/debian-archive-keyring.gpg}] $archive $suite main" \
    > "$cache/sources.list"
apt=(-o "Dir::Etc::SourceList=$cache/sources.list" -o Dir::Etc::SourceParts=/dev/null
     -o "Dir::State::Lists=$cache/lists" -o APT::Sandbox::User=root)
packages=(libogg flac libvorbis opus libsndfile libsoxr)
if [ ! -f "$cache/src/.fetched" ]; then
    apt-get "${apt[@]}" update -qq
    (cd "$cache/src" && apt-get "${apt[@]}" source -qq "${packages[@]}")
    touch "$cache/src/.fetched"
fi
source_of() { find "$cache/src" -maxdepth 1 -mindepth 1 -type d -name "$1-*" | head -n 1; }

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
