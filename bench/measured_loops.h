// The integer and floating-point phases' loops: what the benchmark measures.
// They are written in the assembly of each processor family
// (measured_loops_x86_32.S, measured_loops_x86_64.S, measured_loops_arm64.S,
// chosen by the build), so that no compiler, version or option decides the
// instructions a device is timed on. tools/check_loop_code.py holds each
// build's loops to their source.
//
// Each loop, until `readTick() - start` (wrapping) reaches its phase's end:
// add 1 to its counter's low word with a plain load and store (a carry into
// the high word calls CarryLoop, once in 2^32 loops); load the three work
// values, compute (integer: a*b, b+c, a+b; floating-point: the same in IEEE
// double precision, on the x87 unit on x86 with its precision set to 53 bits
// and rounding to nearest for the phase); store the three results; call
// readTick once.
#pragma once

#include <windows.h>

using TickReader = DWORD(WINAPI*)(void);

extern "C" void RunIntegerPhase(DWORD start, TickReader readTick);
extern "C" void RunRealPhase(DWORD start, TickReader readTick);
