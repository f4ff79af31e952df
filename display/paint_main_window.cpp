#include "paint_main_window.h"

#include "bench_state.h"
#include "countdown.h"
#include "screens.h"

std::int32_t lastShownSeconds = -1;

namespace {

ScreenMode ChooseScreen()
{
    if (lastShownSeconds == -1) {
        return ScreenMode::FIRST_PAINT;
    }
    // Acquire: once the worker is seen finished, its final counts are too.
    return BenchState.running.load(std::memory_order_acquire) ? ScreenMode::COUNTDOWN
                                                               : ScreenMode::RESULTS;
}

// The run starts when the window is first painted, not when it is created.
void StartRun(HWND window)
{
    SetTimer(window, REFRESH_TIMER_ID, REFRESH_PERIOD_MS, nullptr);
    // The handle is neither kept nor closed: the worker lives as long as the
    // process does.
    CreateThread(nullptr, 0, BenchThreadProc, nullptr, 0, nullptr);
}

}  // namespace

void PaintScreen(HWND window, HDC dc, DWORD now)
{
    const DWORD seconds = CountdownSeconds(BenchState.startTick.load(std::memory_order_relaxed), now);
    // Paints between two changes of the value (timer ticks, uncovering,
    // resizing) draw nothing.
    if (static_cast<std::int32_t>(seconds) == lastShownSeconds) {
        return;
    }
    switch (ChooseScreen()) {
    case ScreenMode::FIRST_PAINT:
        ComposeFirstPaintScreen(window, dc);
        StartRun(window);
        break;
    case ScreenMode::COUNTDOWN: ComposeCountdownScreen(window, dc, seconds); break;
    case ScreenMode::RESULTS: ComposeResultsScreen(window, dc); break;
    }
    lastShownSeconds = static_cast<std::int32_t>(seconds);
}

void PaintMainWindow(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    PaintScreen(window, dc, GetTickCount());
    EndPaint(window, &paint);
}
