# Shared by run.sh and test.sh: installs the Debian packages the build needs (only those
# missing), then configures and builds into build/. Sourced, not run.

packsmith_packages=(g++ cmake ninja-build pkgconf libgtest-dev libbenchmark-dev qt6-base-dev qt6-qpa-plugins python3 python3-pil imagemagick clang libclang-rt-14-dev libsndfile1-dev libsoxr-dev sox dpkg-dev file qt6-multimedia-dev pulseaudio)

packsmith_install_missing() {
    local missing=()
    local pkg
    for pkg in "${packsmith_packages[@]}"; do
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
