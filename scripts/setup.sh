# Shared set-up for the project's commands: install what is missing, configure and build.
# Sourced by scripts/play and scripts/test; quiet when everything is already in place.

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
buildDir="$repo/build"

# Packages to build and play: compiler, CMake, GLFW, the loader generator, Mesa's drivers,
# libdeflate for PNG frames, and Dear ImGui for the live preview's display.
playPackages=(cmake make g++ pkg-config python3 python3-glad libglfw3-dev libgl1-mesa-dri
              libglx-mesa0 libegl-mesa0 libegl-dev libdeflate-dev libimgui-dev
              libsdl2-dev libsndfile1-dev)
# What the tests add: GoogleTest, a virtual display and the tools that look at it, and the
# schedulers that parts are rendered on (Slurm with munge, GNU parallel), and the web page's
# translators (glslang, SPIRV-Cross) and browser (chromium, driven from Node.js).
testPackages=(libgtest-dev xvfb xauth xdotool x11-apps imagemagick apitrace ffmpeg glslang-tools
              spirv-cross chromium
              valgrind clang libclang-rt-14-dev slurm-wlm munge parallel)

fail() {
    echo "$*" >&2
    exit 1
}

# Installs whichever of the named Debian packages are not installed yet.
ensurePackages() {
    local missing=() package
    for package in "$@"; do
        if ! dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null | grep -qx installed; then
            missing+=("$package")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0

    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || fail "Installing ${missing[*]} needs root: run as root or install sudo."
        sudo=(sudo)
    fi
    echo "Installing ${missing[*]} ..."
    local log
    log=$(mktemp)
    if ! { "${sudo[@]}" apt-get update -q &&
           "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
               apt-get install -y -q --no-install-recommends "${missing[@]}"; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        fail "Could not install ${missing[*]}."
    fi
    rm -f "$log"
}

# Configures a build folder (build/ unless BUILD_DIR says otherwise) and brings it up to date:
# every target, or only those BUILD_TARGETS names (such as "programs"), so that playing never
# waits for the test suite. Prints the compiler's output only on failure. A first build takes a
# while, so it says so.
buildProject() {
    local dir=${BUILD_DIR:-$buildDir} log targets=()
    [ -z "${BUILD_TARGETS:-}" ] || read -r -a targets <<<"--target $BUILD_TARGETS"
    [ -f "$dir/CMakeCache.txt" ] || echo "Building in $dir (the first time takes a minute or two) ..."
    log=$(mktemp)
    if ! { cmake -S "$repo" -B "$dir" "$@" &&
           cmake --build "$dir" --parallel "$(nproc)" "${targets[@]}"; } >"$log" 2>&1; then
        cat "$log" >&2
        rm -f "$log"
        fail "The build in $dir failed."
    fi
    rm -f "$log"
}
