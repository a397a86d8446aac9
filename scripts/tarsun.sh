#!/usr/bin/env bash
# Sets up a Debian 12 machine and builds Tarsun Editor.
#   scripts/tarsun.sh run    build and start the editor
#   scripts/tarsun.sh test   build everything under the sanitizers and run every test,
#                            then the Windows cross build and the core's tests under Wine,
#                            then the Windows program and its window tests under Wine
#   scripts/tarsun.sh test-windows   only the Windows part of the test command
#   scripts/tarsun.sh fuzz [MINUTES]  the properties with fresh seeds (default 10 minutes);
#                            prints every failing seed, exit status 1 when there is one
#   scripts/tarsun.sh windows        build tarsun-editor.exe, the program for Windows, one file
#   scripts/tarsun.sh windows-qt     only build (once) the static Qt for Windows it needs
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
        # Another job may hold the dpkg lock: wait for it rather than fail.
        $sudo apt-get -o DPkg::Lock::Timeout=900 update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
            --no-install-recommends "${missing[@]}"
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

# Qt for Windows: Debian's own qt6-base source, the version the Linux build uses,
# cross-built as a static Qt with Debian's Qt as its host tools (moc, rcc, uic). Only
# what the program and its window tests use is built. Kept under the user's cache,
# named by Qt's version and these options, so later runs and checkouts reuse it.
qt_windows_options=(
    -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
    -DFEATURE_network=OFF -DFEATURE_sql=OFF -DFEATURE_dbus=OFF -DFEATURE_printsupport=OFF
    -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_opengl=OFF
    # Without OpenGL the windows platform plugin does not compile while dynamicgl stays on.
    -DFEATURE_dynamicgl=OFF
    # Debian's tarball leaves out the tablet header (wintab.h).
    -DFEATURE_tabletevent=OFF
    # The windows platform draws text with GDI and DirectWrite; FreeType would only serve
    # the offscreen plugin, which the tests do not use. (Direct2D stays: Qt 6.4 builds its
    # DirectWrite font engine only along with it.)
    -DFEATURE_freetype=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_sessionmanager=OFF -DFEATURE_pdf=OFF -DFEATURE_gif=OFF
    # Qt's own zlib, linked in, not mingw's zlib1.dll.
    -DFEATURE_system_zlib=OFF
)

qt_windows_packages=(cmake ninja-build g++-mingw-w64-x86-64-posix qt6-base-dev dpkg-dev xz-utils perl)

qt_windows_prefix() {
    local version hash
    version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
    hash=$(printf '%s\n' "$version" "${qt_windows_options[@]}" | sha256sum | cut -c1-12)
    echo "${XDG_CACHE_HOME:-$HOME/.cache}/tarsun/qt-${version%%+*}-$hash"
}

# The system's own package sources as source-package lines, in an apt configuration of our
# own (the system's stays as it is): the machine's configured servers, whichever they are.
system_source_lines() {
    local dir=$1 f
    mkdir -p "$dir/sources.list.d"
    : >"$dir/sources.list"
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] && sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$dir/sources.list"
    done
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] && sed -E 's/^Types:.*/Types: deb-src/' "$f" >"$dir/sources.list.d/${f##*/}"
    done
    if [ ! -s "$dir/sources.list" ] && ! compgen -G "$dir/sources.list.d/*.sources" >/dev/null; then
        echo "No package sources in /etc/apt to take the Qt source from" >&2
        return 1
    fi
}

windows_qt() {
    local prefix version work start=$SECONDS
    prefix=$(qt_windows_prefix)
    if [ -f "$prefix/.built" ]; then
        echo "Qt for Windows: $prefix"
        return
    fi
    mkdir -p "$(dirname "$prefix")"
    version=$(dpkg-query -W -f='${Version}' qt6-base-dev)
    # One build at a time: a second run waits for the first and then reuses its Qt.
    exec 9>"$prefix.lock"
    flock 9
    if [ -f "$prefix/.built" ]; then
        echo "Qt for Windows: $prefix"
        return
    fi
    work="$prefix.work"
    rm -rf "$work" "$prefix"
    mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial"
    system_source_lines "$work/apt"
    local apt=(apt-get -q -o Dir::Etc::SourceList="$work/apt/sources.list" -o Dir::Etc::SourceParts="$work/apt/sources.list.d"
        -o Dir::State::Lists="$work/apt/lists" -o Dir::Cache="$work/apt/cache" -o APT::Sandbox::User="$(id -un)")
    echo "Qt for Windows: fetching Debian's qt6-base $version source"
    # A source among them that has no sources only warns here: the download below says
    # whether the one we need was found.
    "${apt[@]}" update >"$work/apt.log" 2>&1 || echo "apt-get update reported errors (see below if the source is not found)"
    (cd "$work" && "${apt[@]}" source --download-only "qt6-base=$version" >>apt.log 2>&1) ||
        { cat "$work/apt.log"; return 1; }
    # dpkg-source checks every file against the checksums in the .dsc before unpacking.
    (cd "$work" && dpkg-source -x qt6-base_*.dsc src >dpkg-source.log 2>&1) ||
        { cat "$work/dpkg-source.log"; return 1; }
    echo "Qt for Windows: building into $prefix (half an hour or more on two cores)"
    cmake -S "$work/src" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DCMAKE_INSTALL_PREFIX="$prefix" "${qt_windows_options[@]}" >"$work/configure.log" 2>&1 ||
        { tail -50 "$work/configure.log"; return 1; }
    cmake --build "$work/build" -j"$jobs" >"$work/build.log" 2>&1 || { tail -50 "$work/build.log"; return 1; }
    cmake --install "$work/build" >"$work/install.log" 2>&1 || { tail -50 "$work/install.log"; return 1; }
    touch "$prefix/.built"
    rm -rf "$work"
    echo "Qt for Windows: built in $(((SECONDS - start) / 60)) min, $prefix"
}

# The core, tarsun-cli, the shell's folder dialog and the program's resources
# cross-compiled for Windows, and the core's and tarsun-cli's tests run there under Wine
# (by ctest, through the crosscompiling emulator).
windows_test() {
    ensure_npm
    cmake --preset mingw
    cmake --build --preset mingw -j"$jobs"
    echo "Windows cross-compile of the settings core, tarsun-cli, the shell folder dialog and the resource file: OK"

    # A private prefix and no display.
    local start=$SECONDS
    (
        export WINEPREFIX="$PWD/build/mingw/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
        unset DISPLAY WAYLAND_DISPLAY
        if [ ! -f "$WINEPREFIX/system.reg" ]; then
            /usr/lib/wine/wine64 wineboot --init >build/mingw/wineboot.log 2>&1 ||
                { cat build/mingw/wineboot.log; echo "wineboot failed" >&2; exit 1; }
        fi
        status=0
        ctest --preset mingw || status=$?
        /usr/lib/wine/wineserver -w    # let Wine end before the script does
        exit "$status"
    ) || { echo "The core's tests under Wine failed (above)." >&2; return 1; }
    echo "The core's tests under Wine: OK ($((SECONDS - start)) s)"
}

# A private X display for Wine's windows, ended (with Wine) when the script ends.
start_display() {
    local file=build/windows/display
    mkdir -p build/windows
    : >"$file"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$file" >build/windows/xvfb.log 2>&1 &
    xvfb_pid=$!
    trap 'stop_display' EXIT
    local deadline=$((SECONDS + 30))
    until [ -s "$file" ]; do
        [ $SECONDS -lt $deadline ] && kill -0 "$xvfb_pid" 2>/dev/null ||
            { cat build/windows/xvfb.log; echo "Xvfb did not start" >&2; return 1; }
        sleep 0.1
    done
    export DISPLAY=":$(head -1 "$file")"
}

stop_display() {
    [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null || true
    WINEPREFIX=$PWD/build/windows/wineprefix-150 /usr/lib/wine/wineserver -k 2>/dev/null || true
    [ -n "${xvfb_pid:-}" ] && kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
}

# The Windows program (and its window and start-up tests) with the static Qt for Windows.
windows_build() {
    windows_qt
    export TARSUN_QT_WINDOWS
    TARSUN_QT_WINDOWS=$(qt_windows_prefix)
    # A build made with another Qt starts afresh: CMake keeps the toolchain it began with.
    if [ -f build/windows/CMakeCache.txt ] &&
        ! grep -qF "=$TARSUN_QT_WINDOWS/lib/cmake/Qt6/qt.toolchain.cmake" build/windows/CMakeCache.txt; then
        rm -rf build/windows/CMakeCache.txt build/windows/CMakeFiles
    fi
    mkdir -p build
    cmake --preset windows >build/windows-configure.log 2>&1 || { cat build/windows-configure.log; return 1; }
    cmake --build --preset windows -j"$jobs" "$@"
}

# The window and start-up tests and the program itself, run under Wine on the windows
# platform.
windows_program_test() {
    local start=$SECONDS
    windows_build

    export WINEPREFIX="$PWD/build/windows/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    unset QT_QPA_PLATFORM    # Wine hands the environment on: the windows platform here
    start_display
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        /usr/lib/wine/wine64 wineboot --init >build/windows/wineboot.log 2>&1 ||
            { cat build/windows/wineboot.log; echo "wineboot failed" >&2; return 1; }
    fi
    # A second prefix whose desktop is set to 150% (144 dots per inch), for the main
    # window's test at that scale; Wine hands the setting on to Qt as Windows would.
    local prefix150=$PWD/build/windows/wineprefix-150
    if [ ! -f "$prefix150/.dpi-144" ]; then
        { WINEPREFIX=$prefix150 /usr/lib/wine/wine64 wineboot --init &&
            WINEPREFIX=$prefix150 /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels \
                /t REG_DWORD /d 144 /f && WINEPREFIX=$prefix150 /usr/lib/wine/wineserver -w; } \
            >build/windows/wineboot-150.log 2>&1 || { cat build/windows/wineboot-150.log; return 1; }
        touch "$prefix150/.dpi-144"
    fi
    # One file for the player: everything it imports is a part of Windows (a system DLL, as
    # Wine's system folder holds one, or one of Windows' API sets).
    local dll foreign=()
    for dll in $(x86_64-w64-mingw32-objdump -p build/windows/tarsun-editor.exe | awk '/DLL Name:/ {print tolower($3)}'); do
        [ -e "$WINEPREFIX/drive_c/windows/system32/$dll" ] || [[ "$dll" == api-ms-win-* ]] || foreign+=("$dll")
    done
    if [ ${#foreign[@]} -gt 0 ]; then
        echo "tarsun-editor.exe needs DLLs that Windows does not have: ${foreign[*]}" >&2
        return 1
    fi
    echo "tarsun-editor.exe: one file, $(($(stat -c %s build/windows/tarsun-editor.exe) / 1048576)) MB, imports only system DLLs"

    find build/windows/tests -name 'tst_*.log' -delete
    if ! ctest --preset windows; then
        find build/windows/tests -name 'tst_*.log' -exec sh -c 'tr -d "\r" <"$1" | grep -v "^PASS"' _ {} \;
        echo "The window tests under Wine failed (their logs above)." >&2
        return 1
    fi
    # Wine on a loaded machine can be slow to settle: a failed drive is shown, then tried
    # once more from the start.
    if ! scripts/windows-drive.sh; then
        xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng >build/windows/driver-failure.png
        echo "The driven program failed (the screen then: build/windows/driver-failure.png); once more." >&2
        /usr/lib/wine/wineserver -k 2>/dev/null || true
        scripts/windows-drive.sh || { echo "The Windows program under Wine failed twice (see above)." >&2; return 1; }
    fi
    echo "The Windows program under Wine: chosen, edited, saved and left; its files as expected"
    stop_display
    echo "The Windows program and its window tests under Wine: OK ($((SECONDS - start)) s)"
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
    cmake --preset release
    cmake --build --preset release -j"$jobs"
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
    cmake --preset test
    cmake --build --preset test -j"$jobs"
    echo "RapidCheck properties: seed $(sed -n 's/^TARSUN_RC_SEED:STRING=//p' build/test/CMakeCache.txt)"
    # Offscreen for the Linux window tests only: Wine hands the environment on.
    QT_QPA_PLATFORM=offscreen ctest --preset test -j"$jobs"
    windows_test
    ensure_packages "${qt_windows_packages[@]}" xdotool x11-apps netpbm
    windows_program_test
    ;;
fuzz)
    ensure_npm
    ensure_packages "${base_packages[@]}" libgtest-dev libgmock-dev librapidcheck-dev libbenchmark-dev python3
    cmake --preset test
    cmake --build --preset test -j"$jobs" --target settings_tests
    fuzz_properties "${2:-10}"
    ;;
test-windows)
    ensure_packages "${windows_packages[@]}" "${qt_windows_packages[@]}" xvfb xdotool x11-apps netpbm
    windows_test
    windows_program_test
    ;;
windows-qt)
    ensure_packages "${qt_windows_packages[@]}"
    windows_qt
    ;;
windows)
    ensure_npm
    ensure_packages "${qt_windows_packages[@]}"
    windows_build --target tarsun-editor
    echo "The program for Windows, one file: build/windows/tarsun-editor.exe"
    ;;
*)
    echo "usage: $0 run|test|test-windows|fuzz [MINUTES]|windows|windows-qt" >&2
    exit 2
    ;;
esac
