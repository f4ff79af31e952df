// Window timers. Nothing fires by itself: GetMessageA asks for a due timer
// when it has nothing else, as Windows synthesizes WM_TIMER. A timer that
// was due several times while the loop was busy gives one WM_TIMER.
#include "timer.h"

#include <algorithm>
#include <chrono>

namespace {

using koru::posix::Timer;

// Windows raises shorter periods to USER_TIMER_MINIMUM.
constexpr UINT MINIMUM_PERIOD_MS = 10;

// The loop's clock, in microseconds: monotonic, so that setting the date
// moves no timer.
std::int64_t NowUs()
{
    using namespace std::chrono;
    return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

Timer* NextTimer()
{
    auto& timers = koru::posix::User().timers;
    const auto next = std::min_element(timers.begin(), timers.end(),
                                       [](const Timer& a, const Timer& b) {
                                           return a.dueUs < b.dueUs;
                                       });
    return next == timers.end() ? nullptr : &*next;
}

}  // namespace

namespace koru::posix {

bool TimeToNextTimer(std::int64_t& leftUs)
{
    const Timer* next = NextTimer();
    if (next == nullptr) {
        return false;
    }
    leftUs = std::max<std::int64_t>(next->dueUs - NowUs(), 0);
    return true;
}

bool TakeDueTimer(MSG& msg)
{
    Timer* next = NextTimer();
    const std::int64_t nowUs = NowUs();
    if (next == nullptr || next->dueUs > nowUs) {
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
    std::erase_if(User().timers, [window](const Timer& timer) { return timer.window == window; });
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
    const auto removed = std::erase_if(koru::posix::User().timers, [&](const Timer& timer) {
        return timer.window == window && timer.id == id;
    });
    return removed != 0;
}
