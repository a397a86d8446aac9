#!/usr/bin/env bash
# Sets up a Debian 12 machine and builds Tarsun Editor.
#   scripts/tarsun.sh run    build and start the editor
#   scripts/tarsun.sh test   build everything under the sanitizers and run every test
set -euo pipefail
cd "$(dirname "$0")/.."

jobs=$(nproc 2>/dev/null || echo 2)

ensure_packages() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
    done
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

base_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-dejavu-core)

case "${1:-}" in
run)
    ensure_packages "${base_packages[@]}" xvfb xauth
    cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DTARSUN_BUILD_TESTS=OFF -DTARSUN_BUILD_BENCH=OFF
    cmake --build build/release -j"$jobs" --target tarsun-editor
    shift
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
        echo "No display: starting the editor under Xvfb (see README to look at it)."
        exec xvfb-run -a -s "-screen 0 1280x800x24" build/release/startup/tarsun-editor "$@"
    fi
    exec build/release/startup/tarsun-editor "$@"
    ;;
test)
    ensure_packages "${base_packages[@]}" libgtest-dev libgmock-dev librapidcheck-dev libbenchmark-dev xvfb \
        g++-mingw-w64-x86-64-posix
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARSUN_SANITIZE=ON
    cmake --build build/test -j"$jobs"
    export QT_QPA_PLATFORM=offscreen
    ctest --test-dir build/test --output-on-failure -j"$jobs"
    # The core must keep compiling for Windows, with the Windows file and code-page calls,
    # and so must the shell's folder dialog.
    cmake -S . -B build/mingw -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARSUN_CORE_ONLY=ON \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    cmake --build build/mingw -j"$jobs"
    echo "Windows cross-compile of the settings core and the shell folder dialog: OK"
    ;;
*)
    echo "usage: $0 run|test" >&2
    exit 2
    ;;
esac
