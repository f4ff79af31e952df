// Window timers, as GetMessageA and DestroyWindow use them. The timers run
// on the message loop's own clock, which lives in timer.cpp.
#pragma once

#include "user_state.h"

#include <cstdint>

namespace koru::posix {

// Microseconds until the next timer is due, 0 if one is due already;
// false if there is no timer.
bool TimeToNextTimer(std::int64_t& leftUs);

// Takes one due timer as its WM_TIMER; false if none is due.
bool TakeDueTimer(MSG& msg);

void KillWindowTimers(HWND window);

}  // namespace koru::posix
