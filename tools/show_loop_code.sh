#!/usr/bin/env bash
# Prints the machine code of the measured loops from each build, to check by
# eye that each loop is, on every build: a plain load, add and store of its
# counter with one rarely-taken jump to the carry into the high word, three
# loads and three stores of the work values, the arithmetic (on the x87
# unit for doubles on x86), one tick-count call, and the deadline test. Then
# the carry itself, taken once in 2^32 loops. Fails if any of it holds an
# atomic read-modify-write, which no loop may use: on x86 a lock prefix or
# an exchange with memory; on arm64 an exclusive load or store, an LSE
# atomic or a call to the compiler's out-of-line atomics; on either a call
# to the C library's atomic helpers.
#
#   tools/show_loop_code.sh [PRESET...]   (default: linux windows linux-arm64;
#                                          build them first)
set -euo pipefail
cd "$(dirname "$0")/.."

# Every function (and compiler-split part of one) whose name matches.
show() {
    local objdump=$1 object=$2 pattern=$3
    echo "== $object"
    "$objdump" -dr --no-show-raw-insn -C "$object" |
        awk -v pattern="$pattern" '/^[0-9a-f]+ <.*>:$/ { shown = $0 ~ pattern } shown'
}

# The lines of disassembly on standard input that make an atomic
# read-modify-write on the given processor.
ARM64_ATOMIC_MNEMONIC='^((ld|st)a?l?x[rp][bh]?|(ld|st)(add|clr|eor|set|smax|smin|umax|umin)(a|al|l)?[bh]?|(ldclrp|ldsetp|swpp)(a|al|l)?|swp(a|al|l)?[bh]?|casp?(a|al|l)?[bh]?|rcw[a-z]*)$'
atomic_lines() {
    case $1 in
        x86) grep -E '(^|[[:space:]])lock[[:space:]]|[[:space:]]xchg[bwlq]?[[:space:]][^#]*\(|__(atomic|sync)_' ;;
        arm64) awk -F'\t' -v mnemonic="$ARM64_ATOMIC_MNEMONIC" \
                   '$2 ~ mnemonic || /__aarch64_(cas|swp|ldadd|ldclr|ldeor|ldset)|__(atomic|sync)_/' ;;
    esac || true
}

declare -A OBJDUMP=([linux]=objdump [windows]=i686-w64-mingw32-objdump [linux-arm64]=aarch64-linux-gnu-objdump)
declare -A PROCESSOR=([linux]=x86 [windows]=x86 [linux-arm64]=arm64)

presets=("$@")
[ ${#presets[@]} -gt 0 ] || presets=(linux windows linux-arm64)
failed=0
for preset in "${presets[@]}"; do
    [ -n "${OBJDUMP[$preset]:-}" ] || { echo "show_loop_code: no preset $preset" >&2; exit 2; }
    dir=build/$preset/bench/CMakeFiles/koru_engine.dir
    for part in "bench_thread.cpp BenchThreadProc" "loop_counter.cpp CarryLoop"; do
        read -r source pattern <<<"$part"
        object=$(ls "$dir/$source".o* 2>/dev/null) ||
            { echo "show_loop_code: no $dir/$source.o: build the $preset preset first" >&2; exit 2; }
        code=$(show "${OBJDUMP[$preset]}" "$object" "$pattern")
        echo "$code"
        atomic=$(atomic_lines "${PROCESSOR[$preset]}" <<<"$code")
        if [ -n "$atomic" ]; then
            echo "FAIL $preset: an atomic read-modify-write in $pattern:"
            echo "$atomic"
            failed=1
        fi
    done
done
exit $failed
