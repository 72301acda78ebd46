#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: unit tests without a display, X11
# tests on a private virtual desktop, sway tests in a private headless sway, GNOME tests in a
# private headless GNOME Shell, KWin tests in a private headless KWin, then the same
# tests built with AddressSanitizer and UndefinedBehaviorSanitizer. QUANDREL_SANITIZE=0 skips
# the sanitizer pass. The release artifacts, and the window placement tests under other window
# managers than openbox (QUANDREL_OTHER_WMS, "" for none), are checked once, on the first build.
set -uo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh || exit 1

jobs=${QUANDREL_JOBS:-$(nproc)}
failed=0

run_suite() { # build-dir
    local dir=$1
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=offscreen \
        ctest --test-dir "$dir" -L unit --output-on-failure -j "$jobs" || failed=1
    tools/virtual-desktop.sh -- ctest --test-dir "$dir" -L x11 --output-on-failure --repeat until-pass:2 || failed=1
    # The headless sway sometimes leaves a fresh test client at its first size for good (the
    # client never gets the frame callback of its resize); such a run is repeated once.
    tools/sway-desktop.sh -- ctest --test-dir "$dir" -L sway --output-on-failure --repeat until-pass:2 || failed=1
    QUANDREL_BUILD_DIR=$dir tools/gnome-desktop.sh --testing -- ctest --test-dir "$dir" -L gnome --output-on-failure || failed=1
    # GNOME without Quandrel's extension: screenshots through the desktop portal.
    QUANDREL_BUILD_DIR=$dir tools/gnome-desktop.sh --testing --no-extension -- ctest --test-dir "$dir" -L portal --output-on-failure || failed=1
    tools/kwin-desktop.sh --size 1440x900 -- ctest --test-dir "$dir" -L kwin --output-on-failure || failed=1
}

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null || exit 1
cmake --build build -j "$jobs" || exit 1
run_suite build
# The release command in its quick form, on the binaries just built.
tools/virtual-desktop.sh -- ctest --test-dir build -L release --output-on-failure || failed=1
# Window placement where the window manager follows EWMH less closely than openbox.
for wm in ${QUANDREL_OTHER_WMS-fluxbox icewm xfwm4 metacity}; do
    QUANDREL_WM=$wm tools/virtual-desktop.sh -- \
        ctest --test-dir build -R '^(x11_desktop_tests|x11_window_command_tests)$' --output-on-failure || failed=1
done

if [ "${QUANDREL_SANITIZE:-1}" != 0 ]; then
    cmake -S . -B build-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DQUANDREL_SANITIZE=ON \
        -DQUANDREL_BUILD_BENCH=OFF >/dev/null || exit 1
    cmake --build build-sanitize -j "$jobs" || exit 1
    export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
    export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
    run_suite build-sanitize
fi

if [ $failed -ne 0 ]; then
    echo "Some tests failed." >&2
    exit 1
fi
echo "All tests passed."
