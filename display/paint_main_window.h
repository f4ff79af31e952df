// The main window's paint: recomposes the screen only when the whole-seconds
// countdown value has changed since the last screen composed, and starts the
// run with the first screen.
#pragma once

#include <windows.h>

#include <cstdint>

// The first paint's timer: every tick invalidates the window, and the paint
// then decides whether anything changed.
constexpr UINT_PTR REFRESH_TIMER_ID = 1;
constexpr UINT REFRESH_PERIOD_MS = 100;

enum class ScreenMode { FIRST_PAINT, COUNTDOWN, RESULTS };

// The seconds value of the last composed screen; -1 before the first.
extern std::int32_t lastShownSeconds;

// The paint's content, apart from its BeginPaint/EndPaint frame so that it
// can paint into any context: `now` is the tick count of this paint. The
// first screen also starts the refresh timer and the benchmark worker.
void PaintScreen(HWND window, HDC dc, DWORD now);

void PaintMainWindow(HWND window);
