#!/usr/bin/env bash
# The test command: installs what is missing, builds the Linux and the
# Windows targets, and runs every test: the Linux ones natively and again
# under AddressSanitizer + UndefinedBehaviorSanitizer and ThreadSanitizer,
# the Windows ones under Wine, all on a virtual X display; then makes and
# checks the Debian package and the Windows .zip.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh

# shellcheck source=virtual-display.sh
. tools/virtual-display.sh
start_virtual_display
echo "test: virtual display $DISPLAY"

step() { echo; echo "==== $*"; }

step "Linux build and tests"
cmake --preset linux >/dev/null
cmake --build --preset linux
ctest --preset linux

# Under the sanitizers: every test but the whole runs on 16- and 30-bit
# screens, which the plain build covers (the process tests draw on those
# screens under the sanitizers too; a report aborts the program and fails
# the test). Closing the window in every phase runs: that is where a race or
# a use after free at exit would show.
for sanitized in linux-asan linux-tsan; do
    step "Linux build and tests under ${sanitized#linux-} sanitizers"
    cmake --preset "$sanitized" >/dev/null
    cmake --build --preset "$sanitized"
    ctest --preset "$sanitized" -E '^endtoend_linux_(16|30)bit$'
done

step "Windows build and tests (under Wine)"
# 32-bit Wine (emulated where the kernel runs no 32-bit programs) and this
# build's prefix, before configuring: the tests' time limits depend on
# whether Wine is emulated. A persistent wineserver saves seconds on every
# test.
tools/setup-wine.sh "$PWD/build/windows/wineprefix"
cmake --preset windows >/dev/null
cmake --build --preset windows
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -p || true
# Start Wine's own services now: started from inside a test, they would keep
# that test's output pipe open and CTest would wait for it forever.
build/windows/wine-run cmd /c exit </dev/null >/dev/null 2>&1 || true
trap 'WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true; kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true' EXIT
ctest --preset windows

step "Packages: the .deb installed, run and purged; the .zip"
tools/check_packages.sh
