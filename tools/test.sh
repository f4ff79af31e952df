#!/usr/bin/env bash
# The test command: installs what is missing, builds the Linux and the
# Windows targets, and runs every test: the Linux ones natively (and the
# engine's again under ThreadSanitizer), the Windows ones under Wine, all on
# a virtual X display.
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

step "Linux engine under ThreadSanitizer"
cmake --preset linux-tsan >/dev/null
cmake --build --preset linux-tsan --target engine_run_test engine_phase_test
ctest --preset linux-tsan -R '^engine_(run|phase)_test$'

step "Windows build and tests (under Wine)"
cmake --preset windows >/dev/null
cmake --build --preset windows
# 32-bit Wine (emulated where the kernel runs no 32-bit programs) and this
# build's prefix; a persistent wineserver saves seconds on every test.
tools/setup-wine.sh "$PWD/build/windows/wineprefix"
WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -p
# Start Wine's own services now: started from inside a test, they would keep
# that test's output pipe open and CTest would wait for it forever.
build/windows/wine-run cmd /c exit </dev/null >/dev/null 2>&1
trap 'WINEPREFIX="$PWD/build/windows/wineprefix" wineserver -k 2>/dev/null || true; kill "$VIRTUAL_DISPLAY_PID" 2>/dev/null || true' EXIT
ctest --preset windows
