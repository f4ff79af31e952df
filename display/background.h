// The seven background pictures, drawn by index at the client origin, and
// the one screen font. Index 0 is the measuring picture ("BG_BMP"); index b
// (1 to 6) the results picture showing level digit b - 1.
#pragma once

#include <windows.h>

constexpr int BACKGROUND_COUNT = 7;

// Loaded all at once by the first DrawBackground and kept for the process.
// The window thread alone touches it; tests read it.
extern HBITMAP backgroundBitmaps[BACKGROUND_COUNT];

void DrawBackground(HWND window, HDC dc, int index);

// The caller owns the font: select it, select the old one back, delete it.
// Null on failure.
HFONT CreateTextFont(int height);
