// Pixel copies and fills between contexts. Everything is clipped to the
// destination's clip and, for a copy, to the source's pixels: what falls
// outside either is simply not drawn.
#include "gdi_objects.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

using namespace koru::posix;

namespace {

struct Span {
    std::int64_t begin;
    std::int64_t end;
};

Span Clip(Span span, std::int64_t low, std::int64_t high)
{
    return {std::max(span.begin, low), std::min(span.end, high)};
}

BOOL Fill(HDC dc, int x, int y, int width, int height, std::uint32_t xrgb)
{
    HDC__* context = LiveDC(dc);
    if (context == nullptr) {
        return FALSE;
    }
    DrawTarget target;
    if (width <= 0 || height <= 0 || !GetDrawTarget(*context, target)) {
        return TRUE;
    }
    const Span columns = Clip({x, std::int64_t{x} + width}, target.clip.left, target.clip.right);
    const Span rows = Clip({y, std::int64_t{y} + height}, target.clip.top, target.clip.bottom);
    for (std::int64_t row = rows.begin; row < rows.end; ++row) {
        std::uint32_t* line = target.pixels + row * target.pitch;
        std::fill(line + columns.begin, line + std::max(columns.begin, columns.end), xrgb);
    }
    return TRUE;
}

}  // namespace

BOOL WINAPI PatBlt(HDC dc, int x, int y, int width, int height, DWORD rop)
{
    if (rop == WHITENESS) {
        return Fill(dc, x, y, width, height, 0xFFFFFF);
    }
    if (rop == BLACKNESS) {
        return Fill(dc, x, y, width, height, 0x000000);
    }
    return FALSE;
}

BOOL WINAPI BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX,
                   int sourceY, DWORD rop)
try {
    if (rop == WHITENESS || rop == BLACKNESS) {
        return PatBlt(dest, x, y, width, height, rop);
    }
    HDC__* to = LiveDC(dest);
    HDC__* from = LiveDC(source);
    if (rop != SRCCOPY || to == nullptr || from == nullptr) {
        return FALSE;
    }
    DrawTarget target;
    DrawTarget origin;
    if (width <= 0 || height <= 0 || !GetDrawTarget(*to, target) ||
        !GetDrawTarget(*from, origin)) {
        return TRUE;
    }
    // Work in destination coordinates; the source is offset by `shift`.
    const std::int64_t shiftX = std::int64_t{sourceX} - x;
    const std::int64_t shiftY = std::int64_t{sourceY} - y;
    Span columns = Clip({x, std::int64_t{x} + width}, target.clip.left, target.clip.right);
    columns = Clip(columns, -shiftX, origin.width - shiftX);
    Span rows = Clip({y, std::int64_t{y} + height}, target.clip.top, target.clip.bottom);
    rows = Clip(rows, -shiftY, origin.height - shiftY);
    if (columns.begin >= columns.end || rows.begin >= rows.end) {
        return TRUE;
    }
    const std::size_t columnCount = static_cast<std::size_t>(columns.end - columns.begin);
    const std::size_t rowCount = static_cast<std::size_t>(rows.end - rows.begin);
    auto sourceRow = [&](std::int64_t row) {
        return origin.pixels + (row + shiftY) * origin.pitch + (columns.begin + shiftX);
    };
    // A copy within one set of pixels reads the source whole before writing.
    std::vector<std::uint32_t> copy;
    if (target.pixels == origin.pixels) {
        copy.resize(columnCount * rowCount);
        for (std::size_t i = 0; i < rowCount; ++i) {
            std::memcpy(&copy[i * columnCount], sourceRow(rows.begin + static_cast<std::int64_t>(i)),
                        columnCount * 4);
        }
    }
    for (std::size_t i = 0; i < rowCount; ++i) {
        const std::int64_t row = rows.begin + static_cast<std::int64_t>(i);
        const std::uint32_t* line = copy.empty() ? sourceRow(row) : &copy[i * columnCount];
        std::memcpy(target.pixels + row * target.pitch + columns.begin, line, columnCount * 4);
    }
    return TRUE;
} catch (...) {
    return FALSE;  // no memory for the copy of an overlapping source
}

COLORREF WINAPI GetPixel(HDC dc, int x, int y)
{
    HDC__* context = LiveDC(dc);
    DrawTarget target;
    if (context == nullptr || !GetDrawTarget(*context, target) || x < target.clip.left ||
        x >= target.clip.right || y < target.clip.top || y >= target.clip.bottom) {
        return CLR_INVALID;
    }
    return ToColorref(target.pixels[static_cast<std::ptrdiff_t>(y) * target.pitch + x]);
}
