// The Linux layer's GetPixel is a plain read of the page's memory.
#include "display/read_pixels.h"

#include "gdi/ink.h"

std::vector<COLORREF> ReadPixels(HDC dc)
{
    std::vector<COLORREF> pixels;
    pixels.reserve(PAGE_WIDTH * PAGE_HEIGHT);
    for (int y = 0; y < PAGE_HEIGHT; ++y) {
        for (int x = 0; x < PAGE_WIDTH; ++x) {
            pixels.push_back(GetPixel(dc, x, y));
        }
    }
    return pixels;
}
