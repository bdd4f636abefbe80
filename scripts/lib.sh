# Shared by the scripts: the project root, package installation, builds.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"

# Debian packages the builds and tests need.
PACKAGES=(cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev libbenchmark-dev
          nlohmann-json3-dev g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
          wine64 xvfb imagemagick x11-utils python3)

ensure_packages() {
    local missing=()
    for p in "${PACKAGES[@]}"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

build_native() {
    cmake --preset native >/dev/null && cmake --build "$BUILD/native" >&2
}

build_windows() {
    cmake --preset windows >/dev/null && cmake --build "$BUILD/windows" >&2
}
