// The whole-seconds countdown value of a run, which every paint of the window
// computes and compares and the terminal program's progress line shows:
// counted down from one second past the storage deadline, it is 16 at the
// start of the run, 15 through its first second, 1 through its last, and 0
// once the deadline has passed.
#pragma once

#include "bench_state.h"

#include <windows.h>

constexpr DWORD MS_PER_SECOND = 1000;
constexpr DWORD COUNTDOWN_FROM_MS = STORAGE_PHASE_END_MS + MS_PER_SECOND;
// The value at the start of the run, the largest it takes while the run lasts.
constexpr DWORD LONGEST_COUNTDOWN_SECONDS = COUNTDOWN_FROM_MS / MS_PER_SECOND;

// (startTick - now + 16000) / 1000 in wrapping unsigned arithmetic: a tick
// count wrap changes nothing. Past the deadline by more than a second it
// wraps to about 4294967 and falls from there; it is never -1 as a 32-bit
// signed value, so it cannot be taken for the "nothing composed yet" marker.
inline DWORD CountdownSeconds(DWORD startTick, DWORD now)
{
    return (startTick - now + COUNTDOWN_FROM_MS) / MS_PER_SECOND;
}
