#!/usr/bin/env bash
# Prints the machine code of the measured loops from both builds, to check by
# eye that each loop is: a plain load/add/store of its counter (no lock
# prefix), three loads and three stores of the work values, the arithmetic,
# one tick-count call, and the deadline test. Build both presets first.
set -euo pipefail
cd "$(dirname "$0")/.."

show() {
    local objdump=$1 object=$2
    echo "== $object"
    "$objdump" -d --no-show-raw-insn -C "$object" | sed -n '/BenchThreadProc(void\*).*>:/,/ret/p'
}

show objdump build/linux/bench/CMakeFiles/koru_engine.dir/bench_thread.cpp.o
show i686-w64-mingw32-objdump build/windows/bench/CMakeFiles/koru_engine.dir/bench_thread.cpp.obj
