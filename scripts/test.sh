#!/usr/bin/env bash
# Installs what is missing (the test tools and Wine too), builds the test
# configuration (AddressSanitizer and UndefinedBehaviorSanitizer, the checks
# against Wine) and runs every test, the GUI ones under Xvfb.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

scripts/setup-deps.sh test

# The Windows program and its end-to-end test under Wine, against Qt built
# for Windows, which this script never builds itself.
windows_program=
if scripts/windows.sh --qt-cache >/dev/null 2>&1; then
  scripts/windows.sh --no-qt-build
  windows_program=$root/build/windows/Vantor/Vantor.exe
fi
skipped_windows() {
  [ -n "$windows_program" ] || echo "Windows tests skipped: no Qt cache (scripts/windows.sh makes it)"
}
skipped_windows

build=${VANTOR_TEST_BUILD:-build/test}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANTOR_SANITIZE=ON -DVANTOR_BUILD_BENCH=OFF -DVANTOR_WINE_CHECKS=ON \
  -DVANTOR_WINDOWS_PROGRAM="$windows_program"
cmake --build "$build" -j"$(nproc)"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$root/tests/lsan.supp:print_suppressions=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export QT_QPA_PLATFORM=xcb
# A bare machine may have no locale set; the tests type and print UTF-8.
export LANG=${LANG:-C.UTF-8}
# Tests never touch the user's own registry.
export VANTOR_REGISTRY=$(mktemp -d /tmp/vantor-test-registry.XXXXXX)
trap 'rm -rf "$VANTOR_REGISTRY"' EXIT
unset WINEPREFIX

# -noreset: a test that starts the program again at once must not meet the
# server resetting after its previous run let go.
status=0
xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
  ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --timeout 900 "$@" || status=$?

# The Windows installer under Wine: installed, upgraded and uninstalled.
if [ -n "$windows_program" ]; then
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \
    bash tests/windows/installer.sh build/windows/Vantor-*-setup.exe build/windows/Vantor || status=$?
fi

skipped_windows
exit $status
