#!/usr/bin/env bash
# The test command: installs what is missing, builds the Linux target three
# ways (plain, AddressSanitizer + UndefinedBehaviorSanitizer,
# ThreadSanitizer), the Windows target and the arm64 Linux target, runs
# every test (the Windows ones under Wine, the arm64 ones under qemu),
# checks the measured loops' machine code against their source, then makes
# and checks the Debian packages and the Windows .zip. Everything runs on a
# private X session with a window manager, as on a desktop; each end-to-end
# run makes a session of its own.
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

stop_background() {
    WINEPREFIX=$WINE_PREFIX wineserver -k 2>/dev/null || true
    if [ -x build/windows/wine-user-run ]; then build/windows/wine-user-run --stop 2>/dev/null || true; fi
}
trap stop_background EXIT

# The two Wine prefixes, root's and an ordinary user's, are made while the
# first build compiles: making one is mostly waiting. Both are made, and
# nothing of Wine's left running, before any test runs.
cmake --preset windows >/dev/null
tools/setup-wine.sh "$WINE_PREFIX" </dev/null >build/windows/setup-wine.log 2>&1 &
root_prefix=$!
build/windows/wine-user-run --make </dev/null >build/windows/wine-user-make.log 2>&1 &
user_prefix=$!
wait_for_prefixes() {
    wait "$root_prefix" || { cat build/windows/setup-wine.log; echo "test: the Wine prefix could not be made" >&2; exit 1; }
    wait "$user_prefix" || { cat build/windows/wine-user-make.log; echo "test: the ordinary user's Wine prefix could not be made" >&2; exit 1; }
    WINEPREFIX=$WINE_PREFIX wineserver -w
}

for preset in linux linux-asan linux-tsan; do
    step "Linux build ($preset) and its tests"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = linux ]; then wait_for_prefixes; fi
    ctest --preset "$preset"
done

step "Windows build and its tests, under Wine"
# The ordinary user's server and services start meanwhile, to stay.
build/windows/wine-user-run --prepare </dev/null >/dev/null 2>&1 &
user_services=$!
cmake --build --preset windows
wait "$user_services" || { echo "test: the ordinary user's Wine services could not be started" >&2; exit 1; }
# A persistent wineserver saves seconds on every test. Wine's own services
# start now: started from inside a test, they would keep that test's
# output open and CTest would wait for them.
WINEPREFIX=$WINE_PREFIX wineserver -p || true  # fails if one already runs
build/windows/wine-run cmd /c exit </dev/null >/dev/null 2>&1 || true
ctest --preset windows
# What an emulator of 32-bit x86 could not check is said, in its own words.
grep -h "not checked: " build/windows/Testing/Temporary/LastTest.log | sort -u || true

# Not made beside the others' tests: on a machine whose two processors are
# one core's two threads, a build at even the lowest priority slowed the
# end-to-end runs enough to miss a first-paint screen of 100 ms.
step "arm64 build and its tests, under qemu"
cmake --preset linux-arm64 >/dev/null
cmake --build --preset linux-arm64
ctest --preset linux-arm64

step "The measured loops: each build's as their source, the two x86 builds' the same bytes"
tools/check_loop_code.py >build/loop_code.txt || { grep -A20 '^FAIL' build/loop_code.txt; exit 1; }
tail -n1 build/loop_code.txt

step "Packages: the .deb installed, run and purged; the .zip; the arm64 .deb"
tools/check_packages.sh

step "All tests passed"
