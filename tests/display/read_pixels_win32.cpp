// GetPixel is a call into the system for each pixel, slow enough under Wine
// to take most of a test's time: copy the page into a top-down 32-bit DIB
// section and read its memory instead.
#include "display/read_pixels.h"

#include "gdi/ink.h"

std::vector<COLORREF> ReadPixels(HDC dc)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = PAGE_WIDTH;
    info.bmiHeader.biHeight = -PAGE_HEIGHT;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP section = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    std::vector<COLORREF> pixels;
    if (section == nullptr) {
        return pixels;
    }
    HDC copy = CreateCompatibleDC(dc);
    HGDIOBJ original = SelectObject(copy, section);
    BitBlt(copy, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, dc, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* xrgb = static_cast<const DWORD*>(bits);
    pixels.reserve(PAGE_WIDTH * PAGE_HEIGHT);
    for (int i = 0; i < PAGE_WIDTH * PAGE_HEIGHT; ++i) {
        pixels.push_back(RGB((xrgb[i] >> 16) & 0xFF, (xrgb[i] >> 8) & 0xFF, xrgb[i] & 0xFF));
    }
    SelectObject(copy, original);
    DeleteDC(copy);
    DeleteObject(section);
    return pixels;
}
