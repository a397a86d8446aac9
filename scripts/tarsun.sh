#!/usr/bin/env bash
# Sets up a Debian 12 machine and builds Tarsun Editor.
#   scripts/tarsun.sh run    build and start the editor
#   scripts/tarsun.sh test   build everything under the sanitizers and run every test,
#                            then the Windows cross build and the core's tests under Wine
#   scripts/tarsun.sh test-windows   only the Windows part of the test command
#   scripts/tarsun.sh fuzz [MINUTES]  the properties with fresh seeds (default 10 minutes);
#                            prints every failing seed, exit status 1 when there is one
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

# tarsun-cli's header-only libraries: arguments, JSON and the dry run's diff.
cli_packages=(libcli11-dev nlohmann-json3-dev libdtl-dev)
# The scoring file's Python parser is compiled from two npm packages' C sources, which the
# build fetches with npm (Debian's, when no npm is there yet).
ensure_npm() {
    command -v npm >/dev/null || ensure_packages npm
}

base_packages=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-dejavu-core "${cli_packages[@]}")
# The Windows cross build: mingw-w64, GoogleTest's sources, and Wine to run the tests
# (wine64 alone: it brings the 64-bit loader, /usr/lib/wine/wine64).
windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest wine64 "${cli_packages[@]}")

# The core, tarsun-cli, the shell's folder dialog and the program's resources
# cross-compiled for Windows, and the core's and tarsun-cli's tests run there under Wine.
windows_test() {
    ensure_npm
    cmake -S . -B build/mingw -G Ninja -DCMAKE_BUILD_TYPE=Release -DTARSUN_CORE_ONLY=ON -DTARSUN_CORE_TESTS=ON \
        -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
    cmake --build build/mingw -j"$jobs"
    echo "Windows cross-compile of the settings core, tarsun-cli, the shell folder dialog and the resource file: OK"

    # A private prefix, no display, and no offer to install Mono or Gecko.
    local wine=/usr/lib/wine/wine64
    export WINEPREFIX="$PWD/build/mingw/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset DISPLAY WAYLAND_DISPLAY
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        "$wine" wineboot --init >build/mingw/wineboot.log 2>&1 ||
            { cat build/mingw/wineboot.log; echo "wineboot failed" >&2; return 1; }
    fi
    local start=$SECONDS program
    for program in settings/settings_tests cli/cli_tests; do
        local status=0 log=build/mingw/${program#*/}.log
        "$wine" "build/mingw/tests/$program.exe" >"$log" 2>&1 || status=$?
        /usr/lib/wine/wineserver -w    # let Wine end before the script does
        # The summary, each skipped case with its reason, and the whole log on a failure.
        tr -d '\r' <"$log" | awk '
            /^\[ RUN      \]/ { reason = "" }
            /: Skipped$/ { getline reason }
            /^\[  SKIPPED \] .*\(/ { print "  skipped " $4 ": " reason }
            /^\[==========\] .* ran\./ || /^\[  (PASSED|FAILED)  \] [0-9]/ { print "  " $0 }'
        if [ "$status" -ne 0 ]; then
            tr -d '\r' <"$log"
            echo "$program under Wine failed (exit status $status)." >&2
            return 1
        fi
    done
    echo "The core's tests under Wine: OK ($((SECONDS - start)) s)"
}

# Runs the RapidCheck properties with fresh seeds until the time is up.
fuzz_properties() {
    local minutes=$1 failed=() seed log=build/test/fuzz.log
    local properties='PythonJudges.*:RoundTrip.*' end=$((SECONDS + 60 * minutes)) runs=0
    while [ "$SECONDS" -lt "$end" ]; do
        seed=$(od -An -N8 -tu8 /dev/urandom | tr -d ' ')
        if ! RC_PARAMS="seed=$seed" build/test/tests/settings/settings_tests --gtest_filter="$properties" >"$log" 2>&1
        then
            grep -E '^\[  FAILED  \] [A-Za-z]' "$log" | sort -u
            echo "failing seed: $seed   (again: RC_PARAMS=seed=$seed build/test/tests/settings/settings_tests --gtest_filter='$properties')"
            failed+=("$seed")
        fi
        runs=$((runs + 1))
    done
    echo "$runs fresh seeds tried, ${#failed[@]} failed${failed:+: ${failed[*]}}"
    [ ${#failed[@]} -eq 0 ]
}

case "${1:-}" in
run)
    ensure_npm
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
    ensure_npm
    ensure_packages "${base_packages[@]}" libgtest-dev libgmock-dev librapidcheck-dev libbenchmark-dev python3 xvfb \
        "${windows_packages[@]}"
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARSUN_SANITIZE=ON
    cmake --build build/test -j"$jobs"
    export QT_QPA_PLATFORM=offscreen
    echo "RapidCheck properties: seed $(sed -n 's/^TARSUN_RC_SEED:STRING=//p' build/test/CMakeCache.txt)"
    ctest --test-dir build/test --output-on-failure -j"$jobs"
    windows_test
    ;;
fuzz)
    ensure_npm
    ensure_packages "${base_packages[@]}" libgtest-dev libgmock-dev librapidcheck-dev libbenchmark-dev python3
    cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTARSUN_SANITIZE=ON
    cmake --build build/test -j"$jobs" --target settings_tests
    fuzz_properties "${2:-10}"
    ;;
test-windows)
    ensure_packages "${windows_packages[@]}"
    windows_test
    ;;
*)
    echo "usage: $0 run|test|test-windows" >&2
    exit 2
    ;;
esac
