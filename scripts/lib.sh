# Shared by the scripts: the project root, package installation, the check
# for the programs a script needs, builds.
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD="$ROOT/build"
# Debian's own interpreter: the Python modules the tools use come as Debian
# packages (python3-*), which a python3 of another origin earlier on PATH
# (pyenv, a virtualenv) does not see.
PYTHON3=/usr/bin/python3

# Debian packages by purpose. Each script installs the lists it needs, so
# that a preview on a new machine brings in Node and the WebAssembly build,
# not Wine, mingw-w64 and the test tools; ensure_packages without a list
# installs every one, as the full test run needs.
NATIVE_PACKAGES=(cmake ninja-build g++ libgtest-dev nlohmann-json3-dev)
WINDOWS_PACKAGES=(cmake ninja-build g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 nlohmann-json3-dev)
WINE_PACKAGES=(wine64 wine xvfb nodejs)
# The WebAssembly module: emscripten links with node, and the dialog's
# resource script is compiled by mingw-w64's windres, as for the DLL; windres
# runs gcc as its preprocessor.
WEB_PACKAGES=(cmake ninja-build emscripten nodejs binutils-mingw-w64-x86-64 gcc nlohmann-json3-dev)
# The preview's own modules, and what renders its audio (--wav).
PREVIEW_PACKAGES=(nodejs node-xmldom node-jszip)
SOUND_PACKAGES=(fluidsynth timgm6mb-soundfont)
# The tests' independent checks and tools: the fuzz targets (clang), the
# dialog screenshot (imagemagick), the MIDI timing and click onsets (mido,
# aubio), the WebAssembly module in a real browser (esbuild, chromium,
# selenium).
TEST_PACKAGES=(clang libclang-rt-14-dev imagemagick python3 python3-mido aubio-tools
               esbuild chromium chromium-driver python3-selenium)
BENCH_PACKAGES=(libbenchmark-dev)
PACKAGES=("${NATIVE_PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}" "${WINE_PACKAGES[@]}" "${WEB_PACKAGES[@]}"
          "${PREVIEW_PACKAGES[@]}" "${SOUND_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${BENCH_PACKAGES[@]}")

# Which Debian package puts each program on PATH. Installing a package is not
# proof of its programs: wine64 without its recommendations leaves out
# wine, winepath, wineboot and wineserver.
declare -A PROGRAM_PACKAGE=(
    [cmake]=cmake [ctest]=cmake [ninja]=ninja-build [g++]=g++
    [clang]=clang [clang++]=clang
    [x86_64-w64-mingw32-g++-posix]=g++-mingw-w64-x86-64-posix
    [x86_64-w64-mingw32-gcc-posix]=gcc-mingw-w64-x86-64-posix
    [x86_64-w64-mingw32-windres]=binutils-mingw-w64-x86-64
    [x86_64-w64-mingw32-objdump]=binutils-mingw-w64-x86-64
    [wine]=wine [winepath]=wine [wineboot]=wine [wineserver]=wine
    [Xvfb]=xvfb [convert]=imagemagick [identify]=imagemagick
    [python3]=python3 [sha256sum]=coreutils [timeout]=coreutils
    [fluidsynth]=fluidsynth [aubioonset]=aubio-tools
    [em++]=emscripten [node]=nodejs [esbuild]=esbuild [chromium]=chromium
    [chromedriver]=chromium-driver [firefox-esr]=firefox-esr
    [WebKitWebDriver]=webkit2gtk-driver [npm]=npm [sf3convert]=sf3convert
)

# Programs by what a script does with them.
BUILD_PROGRAMS=(cmake ninja g++ x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix
                x86_64-w64-mingw32-windres)
WINDOWS_BUILD_PROGRAMS=(cmake ninja x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-gcc-posix
                        x86_64-w64-mingw32-windres)
WINE_PROGRAMS=(wine winepath wineboot wineserver Xvfb timeout)
WEB_BUILD_PROGRAMS=(cmake ninja em++ node x86_64-w64-mingw32-windres)
WEB_TEST_PROGRAMS=(node esbuild chromium chromedriver)

# ensure_packages [PACKAGE...]: installs those of the packages (default:
# every list above) that are not installed yet. One dpkg-query for all, so
# that a script run again on a ready machine loses no time here.
ensure_packages() {
    local wanted=("$@")
    [ ${#wanted[@]} -eq 0 ] && wanted=("${PACKAGES[@]}")
    local installed missing=() p
    # dpkg-query fails for a package it has never heard of, as on a new
    # machine: that is an answer here, not an error.
    installed=" $( { dpkg-query -W -f='${Package}=${Status}\n' "${wanted[@]}" 2>/dev/null || true; } |
                 sed -n 's/=install ok installed$//p' | tr '\n' ' ') "
    for p in "${wanted[@]}"; do
        case "$installed" in *" $p "*) ;; *) missing+=("$p") ;; esac
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    mapfile -t missing < <(printf '%s\n' "${missing[@]}" | awk '!seen[$0]++')
    echo "Installing: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq >&2
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >&2
}

# require_programs NAME...: stops the calling script at once, with one line
# naming the program and its package, when one of them is not on PATH.
# PYTHON3 stands for Debian's interpreter at its fixed path.
require_programs() {
    local program
    for program in "$@"; do
        if [ "$program" = python3 ]; then
            [ -x "$PYTHON3" ] && continue
        elif command -v "$program" >/dev/null; then
            continue
        fi
        local where="is not on PATH"
        [ "$program" = python3 ] && where="is not at $PYTHON3"
        echo "scripts/$(basename "$0"): '$program' $where; install the Debian package ${PROGRAM_PACKAGE[$program]:-that provides it}" >&2
        exit 127
    done
}

# require_python_modules NAME...: the same for modules Debian's python3 must
# import.
declare -A PYTHON_MODULE_PACKAGE=([mido]=python3-mido [selenium]=python3-selenium [gi]=python3-gi)
require_python_modules() {
    local module
    for module in "$@"; do
        "$PYTHON3" -c "import $module" 2>/dev/null && continue
        echo "scripts/$(basename "$0"): $PYTHON3 cannot import '$module'; install the Debian package ${PYTHON_MODULE_PACKAGE[$module]:-that provides it}" >&2
        exit 127
    done
}

build_native() {
    cmake --preset native >/dev/null && cmake --build "$BUILD/native" >&2
}

# Debian's emscripten brings its own frozen cache (EM_CACHE must stay unset)
# and links with the node on PATH; cmake/web.cmake points that node at
# Debian's node modules.
build_web() {
    cmake --preset web >/dev/null && cmake --build "$BUILD/web" >&2
}

# The module when it is missing or out of date, without configuring a tree
# that is there (emscripten's configure takes seconds; the build re-runs it
# itself when a CMake file changed).
build_web_if_needed() {
    if [ -f "$BUILD/web/build.ninja" ]; then
        cmake --build "$BUILD/web" >&2
    else
        build_web
    fi
}

build_windows() {
    cmake --preset windows >/dev/null && cmake --build "$BUILD/windows" >&2
}

# The preview page (one HTML file, offline) and its tests in real browsers:
# Chromium and Firefox ESR driven by puppeteer-core, WebKitGTK by its
# WebKitWebDriver (on a virtual display, in a GTK window of the tests' own,
# through python3-gi). Lists of their own, so that only these commands
# install a browser.
# Its sound: npm brings the SoundFont player (preview/package.json), and its
# instruments are Debian's public-domain General MIDI bank, compressed by
# sf3convert when the page is built.
PAGE_PACKAGES=("${WEB_PACKAGES[@]}" node-jszip esbuild csound-soundfont sf3convert)
PAGE_TEST_PACKAGES=(chromium firefox-esr webkit2gtk-driver xvfb python3-gi gir1.2-gtk-3.0
                    gir1.2-webkit2-4.1 aubio-tools python3-mido nodejs node-jszip)
# Debian's npm, unless the node on PATH brought its own (a NodeSource nodejs
# does, and conflicts with Debian's npm).
command -v npm >/dev/null || PAGE_PACKAGES+=(npm)
command -v npm >/dev/null || PAGE_TEST_PACKAGES+=(npm)
PAGE_BUILD_PROGRAMS=("${WEB_BUILD_PROGRAMS[@]}" esbuild npm sf3convert)
PAGE_TEST_PROGRAMS=(chromium firefox-esr WebKitWebDriver Xvfb aubioonset node npm)
PAGE_FILE="$BUILD/page/ZorvTempo-Preview.html"
BROWSER_TESTS="$ROOT/tests/browser"

# npm_ci FOLDER: the folder's npm packages exactly as its committed lockfile
# names them, install scripts not run; again only when the lockfile has
# changed since. npm checks every package against the lockfile's sha512, so
# where this machine does not trust the registry's certificate chain (a
# network whose proxy signs with its own authority, which a new Debian root
# does not know) the install is tried once more without that trust and
# rests on those checksums alone.
npm_ci() {
    local folder=$1 lock="$1/package-lock.json"
    local stamp="$1/node_modules/.installed-package-lock.json" log
    cmp -s "$lock" "$stamp" && return 0
    echo "Installing the npm packages of ${folder#"$ROOT"/}" >&2
    log=$(mktemp)
    if ! (cd "$folder" && npm ci --ignore-scripts --no-audit --no-fund) >"$log" 2>&1; then
        if ! grep -qE 'SELF_SIGNED_CERT|UNABLE_TO_GET_ISSUER_CERT|UNABLE_TO_VERIFY_LEAF_SIGNATURE|CERT_UNTRUSTED' "$log"; then
            cat "$log" >&2; rm -f "$log"; return 1
        fi
        echo "npm: the registry's certificate is not trusted here; installing with each package checked against the lockfile's sha512 only" >&2
        if ! (cd "$folder" && npm ci --ignore-scripts --no-audit --no-fund --strict-ssl=false) >"$log" 2>&1; then
            cat "$log" >&2; rm -f "$log"; return 1
        fi
    fi
    rm -f "$log"
    cp "$lock" "$stamp"
}

# The browser tests' npm modules (test-only: puppeteer-core, selenium-webdriver,
# axe-core).
ensure_browser_test_modules() {
    npm_ci "$BROWSER_TESTS"
}

# ensure_page_packages [NAME...]: the page's packages and any named here.
ensure_page_packages() {
    ensure_packages "${PAGE_PACKAGES[@]}" "$@"
}

# The page's npm packages (its notation library and its SoundFont player),
# as npm_ci installs them.
install_page_modules() {
    npm_ci "$ROOT/preview"
}

# The WebAssembly module (the web preset), then the single file around it.
build_page() {
    build_web && install_page_modules && node "$ROOT/preview/web/build.mjs" "$PAGE_FILE" >&2
}
