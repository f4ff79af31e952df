#!/usr/bin/env bash
# The test command: installs what is missing, builds the Linux target three
# ways (plain, AddressSanitizer + UndefinedBehaviorSanitizer,
# ThreadSanitizer) and the Windows target, runs every test (the Windows
# ones under Wine), then makes and checks the Debian package and the
# Windows .zip. Everything runs on a private X session with a window
# manager, as on a desktop; each end-to-end run makes a session of its own.
# Works as root or, for another user, through sudo.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ ${1:-} != --in-session ]]; then
    tools/install-deps.sh
    exec tools/xsession.py run -- "$0" --in-session
fi

began=$SECONDS
step() { echo; echo "==== $* (at $((SECONDS - began)) s)"; }
WINE_PREFIX=$PWD/build/windows/wineprefix
trap 'WINEPREFIX=$WINE_PREFIX wineserver -k 2>/dev/null || true' EXIT

for preset in linux linux-asan linux-tsan; do
    step "Linux build ($preset) and its tests"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    ctest --preset "$preset"
done

step "Windows build and its tests, under Wine"
tools/setup-wine.sh "$WINE_PREFIX"
cmake --preset windows >/dev/null
# The ordinary user's prefix is made meanwhile.
build/windows/wine-user-run --prepare </dev/null >/dev/null 2>&1 &
user_prefix=$!
cmake --build --preset windows
wait "$user_prefix" || { echo "test: the ordinary user's Wine prefix could not be made" >&2; exit 1; }
# A persistent wineserver saves seconds on every test. Wine's own services
# start now: started from inside a test, they would keep that test's
# output open and CTest would wait for them.
WINEPREFIX=$WINE_PREFIX wineserver -p || true  # fails if one already runs
build/windows/wine-run cmd /c exit </dev/null >/dev/null 2>&1 || true
ctest --preset windows

step "Packages: the .deb installed, run and purged; the .zip"
tools/check_packages.sh

step "All tests passed"
