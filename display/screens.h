// The three screens of the main window. Each only draws, into a paint
// context that the caller owns (so tests can compose into a memory context).
#pragma once

#include <windows.h>

// The picture and a "getting ready" line.
void ComposeFirstPaintScreen(HWND window, HDC dc);

// The seconds left and the live figures, read from the run as it stands.
void ComposeCountdownScreen(HWND window, HDC dc, DWORD seconds);

// The level picture, the fraction and the final figures; call only once the
// run has been seen finished.
void ComposeResultsScreen(HWND window, HDC dc);
