#!/usr/bin/env bash
# Prints the machine code of the measured loops from both builds, to check by
# eye that each loop is, on both: a plain load, add and store of its counter
# (no lock prefix) with one rarely-taken jump to the carry into the high
# word, three loads and three stores of the work values, the arithmetic (on
# the x87 unit for doubles), one tick-count call, and the deadline test.
# Then the carry itself, taken once in 2^32 loops. Build both presets first.
set -euo pipefail
cd "$(dirname "$0")/.."

# Every function (and compiler-split part of one) whose name matches.
show() {
    local objdump=$1 object=$2 pattern=$3
    echo "== $object"
    "$objdump" -dr --no-show-raw-insn -C "$object" |
        awk -v pattern="$pattern" '/^[0-9a-f]+ <.*>:$/ { shown = $0 ~ pattern } shown'
}

for build in "objdump build/linux/bench/CMakeFiles/koru_engine.dir" \
             "i686-w64-mingw32-objdump build/windows/bench/CMakeFiles/koru_engine.dir"; do
    read -r objdump dir <<<"$build"
    object=$(ls "$dir"/bench_thread.cpp.o*)
    show "$objdump" "$object" "BenchThreadProc"
    object=$(ls "$dir"/loop_counter.cpp.o*)
    show "$objdump" "$object" "CarryLoop"
done
