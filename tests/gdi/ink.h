// Pixel checks on a 640 x 480 memory context, the same on Windows (Wine) and
// Linux: a white page to draw on, and where the ink landed.
#pragma once

#include <windows.h>

constexpr int PAGE_WIDTH = 640;
constexpr int PAGE_HEIGHT = 480;

// A memory context holding a white 32-bit page.
class Page {
public:
    Page()
    {
        HDC screen = GetDC(nullptr);
        dc = CreateCompatibleDC(screen);
        bitmap = CreateCompatibleBitmap(screen, PAGE_WIDTH, PAGE_HEIGHT);
        ReleaseDC(nullptr, screen);
        original = SelectObject(dc, bitmap);
        PatBlt(dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, WHITENESS);
    }
    ~Page()
    {
        SelectObject(dc, original);
        DeleteDC(dc);
        DeleteObject(bitmap);
    }
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    HDC dc;
    HBITMAP bitmap;
    HGDIOBJ original;
};

// Bounds of the pixels that are not `paper` in a rectangle; empty (left ==
// right) if there are none.
inline RECT InkBounds(HDC dc, RECT area, COLORREF paper = RGB(255, 255, 255))
{
    RECT ink = {area.right, area.bottom, area.left, area.top};
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            if (GetPixel(dc, x, y) != paper) {
                ink.left = x < ink.left ? x : ink.left;
                ink.top = y < ink.top ? y : ink.top;
                ink.right = x + 1 > ink.right ? x + 1 : ink.right;
                ink.bottom = y + 1 > ink.bottom ? y + 1 : ink.bottom;
            }
        }
    }
    if (ink.left >= ink.right) {
        ink = {0, 0, 0, 0};
    }
    return ink;
}

inline int InkCount(HDC dc, RECT area, COLORREF paper = RGB(255, 255, 255))
{
    int count = 0;
    for (int y = area.top; y < area.bottom; ++y) {
        for (int x = area.left; x < area.right; ++x) {
            count += GetPixel(dc, x, y) != paper;
        }
    }
    return count;
}

constexpr RECT WHOLE_PAGE = {0, 0, PAGE_WIDTH, PAGE_HEIGHT};
