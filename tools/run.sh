#!/usr/bin/env bash
# The run command: installs what is missing, builds both targets and starts
# KORU BENCH in a window. Without a display it runs the program on a virtual
# one instead and saves screenshots of the countdown and the results.
set -euo pipefail
cd "$(dirname "$0")/.."

tools/install-deps.sh >&2
cmake --preset linux >/dev/null
cmake --build --preset linux --target koru-bench >&2
cmake --preset windows >/dev/null
cmake --build --preset windows --target koru-bench >&2
echo "Windows executable: $PWD/build/windows/display/koru-bench.exe (run it on Windows, or: wine build/windows/display/koru-bench.exe)" >&2

PROGRAM=build/linux/display/koru-bench
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
    exec "$PROGRAM"
fi

echo "No display: running on a virtual one and saving screenshots." >&2
# shellcheck source=virtual-display.sh
. tools/virtual-display.sh
start_virtual_display
SHOTS="$PWD/build/screenshots"
mkdir -p "$SHOTS"
"$PROGRAM" &
PROGRAM_PID=$!
sleep 6
xwd -root -silent | convert xwd:- "$SHOTS/countdown.png"
sleep 12
xwd -root -silent | convert xwd:- "$SHOTS/results.png"
kill "$PROGRAM_PID" 2>/dev/null || true
wait "$PROGRAM_PID" 2>/dev/null || true
echo "Screenshots: $SHOTS/countdown.png (6 s into the run), $SHOTS/results.png (after it)"
