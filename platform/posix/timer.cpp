// Window timers. Nothing fires by itself: GetMessageA asks for a due timer
// when it has nothing else, as Windows synthesizes WM_TIMER. A timer that
// was due several times while the loop was busy gives one WM_TIMER.
#include "user_backend.h"

#include <algorithm>

namespace {

// Windows raises shorter periods to USER_TIMER_MINIMUM.
constexpr UINT MINIMUM_PERIOD_MS = 10;

}  // namespace

namespace koru::posix {

bool NextTimerDue(std::int64_t& dueUs)
{
    const auto& timers = User().timers;
    if (timers.empty()) {
        return false;
    }
    dueUs = std::min_element(timers.begin(), timers.end(), [](const Timer& a, const Timer& b) {
                return a.dueUs < b.dueUs;
            })->dueUs;
    return true;
}

bool TakeDueTimer(std::int64_t nowUs, MSG& msg)
{
    auto& timers = User().timers;
    const auto next = std::min_element(timers.begin(), timers.end(),
                                       [](const Timer& a, const Timer& b) {
                                           return a.dueUs < b.dueUs;
                                       });
    if (next == timers.end() || next->dueUs > nowUs) {
        return false;
    }
    // Missed ticks are dropped: the due time moves on by whole periods to
    // the first one still ahead.
    const std::int64_t missed = (nowUs - next->dueUs) / next->periodUs;
    next->dueUs += (missed + 1) * next->periodUs;
    msg = MSG{};
    msg.hwnd = next->window;
    msg.message = WM_TIMER;
    msg.wParam = next->id;
    msg.lParam = 0;
    return true;
}

void KillWindowTimers(HWND window)
{
    auto& timers = User().timers;
    std::erase_if(timers, [window](const Timer& timer) { return timer.window == window; });
}

}  // namespace koru::posix

UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC timerFunc)
try {
    using namespace koru::posix;
    // Only window timers delivered as WM_TIMER: the program uses no other kind.
    if (LookUpWindow(window) == nullptr || timerFunc != nullptr) {
        return 0;
    }
    const std::int64_t periodUs = std::int64_t{std::max(elapse, MINIMUM_PERIOD_MS)} * 1000;
    const std::int64_t dueUs = NowUs() + periodUs;
    auto& timers = User().timers;
    // The same window and id again restarts that timer with the new period.
    const auto existing = std::find_if(timers.begin(), timers.end(), [&](const Timer& timer) {
        return timer.window == window && timer.id == id;
    });
    if (existing != timers.end()) {
        existing->periodUs = periodUs;
        existing->dueUs = dueUs;
    } else {
        timers.push_back(Timer{window, id, periodUs, dueUs});
    }
    return id != 0 ? id : 1;
} catch (...) {
    return 0;  // no memory for another timer
}

BOOL WINAPI KillTimer(HWND window, UINT_PTR id)
{
    auto& timers = koru::posix::User().timers;
    const auto removed = std::erase_if(timers, [&](const koru::posix::Timer& timer) {
        return timer.window == window && timer.id == id;
    });
    return removed != 0;
}
