#!/usr/bin/env bash
# The run command: installs what is missing, builds KORU BENCH and starts it
# in a window, then builds the Windows executable too. Without a display it
# runs the program on a private one instead, saves screenshots of its window
# during the countdown and on the results, and closes it as a user would.
set -euo pipefail
cd "$(dirname "$0")/.."

PROGRAM=build/linux/display/koru-bench
TITLE="KORU BENCH"
SHOTS=$PWD/build/screenshots

if [[ ${1:-} == --headless ]]; then
    # On the private display that xsession.py made for this.
    mkdir -p "$SHOTS"
    "$PROGRAM" &
    program=$!
    tools/xsession.py wait "$TITLE" 30 || { echo "run: the window did not show" >&2; exit 1; }
    shown=$SECONDS
    sleep 6
    tools/xsession.py shot "$TITLE" "$SHOTS/countdown.png"
    sleep $((18 - (SECONDS - shown)))
    tools/xsession.py shot "$TITLE" "$SHOTS/results.png"
    tools/xsession.py close "$TITLE"
    status=0
    wait "$program" || status=$?
    echo "Screenshots of the window: $SHOTS/countdown.png (6 s into the run), $SHOTS/results.png (after it)"
    echo "The program ended with exit status $status after the close request."
    exit "$status"
fi

# Only what building and running needs, and the Windows cross compiler where
# it can be had: no test framework, no Wine, no emulator, no architecture.
tools/install-deps.sh --run >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target koru-bench koru-bench-cli >&2

# The Windows executables build meanwhile, out of the program's way.
windows_log=$PWD/build/windows-build.log
windows_build=""
if command -v i686-w64-mingw32-g++-posix >/dev/null; then
    (cmake --preset windows >/dev/null && nice cmake --build --preset windows --target koru-bench koru-bench-cli) \
        >"$windows_log" 2>&1 &
    windows_build=$!
fi

status=0
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    "$PROGRAM" || status=$?
else
    echo "No display: running on a private one and saving screenshots." >&2
    tools/xsession.py run -- "$0" --headless || status=$?
fi

if [ -z "$windows_build" ]; then
    echo "The Windows executables were not built: their cross compiler (g++-mingw-w64-i686) could not be installed from this machine's package sources (apt's reasons: ${TMPDIR:-/tmp}/koru-bench-apt.log)" >&2
elif wait "$windows_build"; then
    echo "Windows executables: $PWD/build/windows/display/koru-bench.exe and $PWD/build/windows/console/koru-bench-cli.exe (copy them to Windows XP or later, or: wine build/windows/display/koru-bench.exe)" >&2
else
    echo "The Windows build failed; see $windows_log" >&2
fi
exit "$status"
