#include "paint_main_window.h"

#include "bench_state.h"
#include "screens.h"

std::int32_t lastShownSeconds = -1;

DWORD CountdownSeconds(DWORD startTick, DWORD now)
{
    return (startTick - now + 16000u) / 1000u;
}

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

}  // namespace

void PaintMainWindow(HWND window)
{
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const DWORD seconds =
        CountdownSeconds(BenchState.startTick.load(std::memory_order_relaxed), GetTickCount());
    // Paints between two changes of the value (timer ticks, uncovering,
    // resizing) draw nothing.
    if (static_cast<std::int32_t>(seconds) != lastShownSeconds) {
        switch (ChooseScreen()) {
        case ScreenMode::FIRST_PAINT: ComposeFirstPaintScreen(window, dc); break;
        case ScreenMode::COUNTDOWN: ComposeCountdownScreen(window, dc, seconds); break;
        case ScreenMode::RESULTS: ComposeResultsScreen(window, dc); break;
        }
        lastShownSeconds = static_cast<std::int32_t>(seconds);
    }
    EndPaint(window, &paint);
}
