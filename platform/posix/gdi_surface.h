// What the window side and the drawing side of the Linux layer share: a
// paint context (HDC) can draw into pixels that someone else owns, such as
// a window's back buffer. Pixels are 32-bit 0x00RRGGBB (SDL's XRGB8888).
#pragma once

#include <windows.h>

#include <cstdint>

namespace koru::posix {

struct PixelSurface {
    std::uint32_t* pixels;
    int width;
    int height;
    int pitch;  // in pixels
};

// A paint context drawing into `surface`, clipped to `clip` (client
// coordinates). Release it with DeleteDC; the pixels stay the caller's.
HDC CreateSurfaceDC(const PixelSurface& surface, const RECT& clip);

// Whether anything drew through a context from CreateSurfaceDC (or read it):
// a paint that drew nothing need not be shown again.
bool SurfaceDCUsed(HDC dc);

// The colour of a brush from GetStockObject; false if `brush` is not one.
bool BrushColour(HGDIOBJ brush, std::uint32_t& xrgb);

}  // namespace koru::posix
