// The main window's paint: recomposes the screen only when the whole-seconds
// countdown value has changed since the last screen composed.
#pragma once

#include <windows.h>

#include <cstdint>

// The seconds value of the last composed screen; -1 before the first.
extern std::int32_t lastShownSeconds;

// (startTick - now + 16000) / 1000 in wrapping unsigned arithmetic: 16 minus
// the seconds begun since the start while the run lasts. Never -1, so it
// cannot be taken for the "nothing composed yet" marker.
DWORD CountdownSeconds(DWORD startTick, DWORD now);

void PaintMainWindow(HWND window);
