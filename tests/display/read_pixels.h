// All 640 x 480 pixels of a page, row by row, as COLORREFs: what GetPixel
// gives for each, read in one go where the system can.
#pragma once

#include <windows.h>

#include <vector>

std::vector<COLORREF> ReadPixels(HDC dc);
