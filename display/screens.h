// The three screens of the main window, each composed into a paint context
// that the caller owns (so tests can compose into a memory context).
#pragma once

#include <windows.h>

constexpr UINT_PTR REFRESH_TIMER_ID = 1;
constexpr UINT REFRESH_PERIOD_MS = 100;

enum class ScreenMode { FIRST_PAINT, COUNTDOWN, RESULTS };

// The picture, a "getting ready" line, and the start of the refresh timer and
// the benchmark worker.
void ComposeFirstPaintScreen(HWND window, HDC dc);

// The seconds left and the live figures, read from the run as it stands.
void ComposeCountdownScreen(HWND window, HDC dc, DWORD seconds);

// The level picture, the fraction and the final figures; call only once the
// run has been seen finished.
void ComposeResultsScreen(HWND window, HDC dc);
