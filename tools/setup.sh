# Shared by run.sh and test.sh: installs the Debian packages the build needs (only those
# missing), then configures and builds into build/. Sourced, not run.

packsmith_packages=(g++ cmake ninja-build pkgconf libgtest-dev libbenchmark-dev qt6-base-dev qt6-qpa-plugins python3 python3-pil imagemagick clang libclang-rt-14-dev libsndfile1-dev libsoxr-dev sox dpkg-dev file qt6-multimedia-dev pulseaudio)

# What the Windows build adds: the cross compiler (posix threads), Wine to run what it
# builds, NSIS for the installer, patch for the changes Qt's build makes to its sources, and
# the fonts the window's tests measure with (the Linux build's Qt gives the host tools,
# python3 the comparison with the Linux build).
packsmith_windows_packages=(mingw-w64 g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix wine wine64 nsis patch
                            fonts-dejavu-core)

# packsmith_install_missing [windows]: the packages of the Linux build, and with "windows"
# those of the Windows build too.
packsmith_install_missing() {
    local wanted=("${packsmith_packages[@]}")
    [ "${1:-}" = windows ] && wanted+=("${packsmith_windows_packages[@]}")
    local missing=()
    local pkg
    for pkg in "${wanted[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    echo "Installing missing packages: ${missing[*]}"
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo="sudo"
        else
            echo "error: these packages are missing and installing them needs root: ${missing[*]}" >&2
            return 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    $sudo apt-get update -q && $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
}

# packsmith_build ROOT [BUILD_DIR [EXTRA CMAKE ARGS...]]
packsmith_build() {
    local root="$1"
    local dir="${2:-$root/build}"
    shift $(( $# < 2 ? $# : 2 ))
    local werror=OFF
    [ "${CI:-}" = "true" ] && werror=ON
    cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPACKSMITH_WERROR="$werror" "$@" &&
        cmake --build "$dir" --parallel "$(nproc)"
}

# packsmith_build_release ROOT: the missing packages, then a Release build of the programs
# and benchmarks (no tests, no window) into ROOT/build-release, its output on stderr.
packsmith_build_release() {
    packsmith_install_missing &&
        packsmith_build "$1" "$1/build-release" -DCMAKE_BUILD_TYPE=Release -DPACKSMITH_TESTS=OFF \
            -DPACKSMITH_WINDOW=OFF >&2
}

# packsmith_build_windows ROOT [EXTRA CMAKE ARGS...]: the sound libraries cross-built for
# Windows (once, into ROOT/build-windows/deps) and Qt (once per machine, into a cache outside
# the checkout: tools/windows/qt.sh), then both programs into ROOT/build-windows/build with
# the toolchain of tools/windows.
packsmith_build_windows() {
    local root="$1"
    shift
    local deps="$root/build-windows/deps" qt
    "$root/tools/windows/sound-libs.sh" "$deps" &&
        qt="$("$root/tools/windows/qt.sh")" &&
        PKG_CONFIG_LIBDIR="$deps/lib/pkgconfig" cmake -S "$root" -B "$root/build-windows/build" -G Ninja \
            -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$root/tools/windows/mingw-w64.cmake" \
            -DPACKSMITH_WINDOWS_PREFIX="$deps" -DPACKSMITH_WINDOWS_QT="$qt" -DPACKSMITH_WINDOW=ON \
            -DPACKSMITH_BENCH=OFF -DPACKSMITH_WERROR="$([ "${CI:-}" = "true" ] && echo ON || echo OFF)" "$@" &&
        cmake --build "$root/build-windows/build" --parallel "$(nproc)"
}

# Wine for the Windows programs: a prefix of its own under build-windows, quiet, and without
# the offers to install .NET and a browser engine, which nothing here needs.
packsmith_wine_environment() {
    export WINEPREFIX="$1/build-windows/wine"
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree=d;mshtml=d;winemenubuilder.exe=d"
    mkdir -p "$WINEPREFIX"
    wineboot -i >/dev/null 2>&1 || true
    # Wine marks every name beginning with "." hidden unless told otherwise, which would leave
    # the tests unable to see whether the program hides its own pending files itself.
    wine reg add 'HKCU\Software\Wine' /v ShowDotFiles /d Y /f >/dev/null 2>&1 || true
}
