// The records behind GDI handles on Linux, shared by the gdi_*.cpp files.
// Every handle given out is registered while it lives, so a stale or made-up
// handle is refused instead of followed.
#pragma once

#include <windows.h>

#include "font.h"
#include "gdi_surface.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace koru::posix {

// No bitmap is wider or taller than this, nor larger than its square: a
// made-up size must not ask for gigabytes.
constexpr int MAX_BITMAP_SIDE = 8192;

enum class GdiKind { BITMAP, FONT, BRUSH };

}  // namespace koru::posix

struct HGDIOBJ__ {
    koru::posix::GdiKind kind;
    bool stock = false;         // never freed; DeleteObject succeeds and does nothing
    int selectedCount = 0;      // contexts holding it
    bool deletePending = false; // deleted while selected: freed when let go, as Wine does
};

namespace koru::posix {

// Where a picture's pixels are read from: BGR(A) bytes, `top` being the
// first byte of the top row and `step` the distance to the row below
// (negative when stored bottom-up). The bytes outlive the bitmap.
struct PictureRows {
    const std::uint8_t* top = nullptr;
    std::ptrdiff_t step = 0;
    int bytesPixel = 0;
};

// Always 32 bits a pixel, 0x00RRGGBB, top-down rows. A picture's pixels are
// made on first use (most pictures loaded are never drawn); until then
// `pixels` is null and `rows` says where they come from.
struct Bitmap : HGDIOBJ__ {
    int width = 0;
    int height = 0;
    std::unique_ptr<std::uint32_t[]> pixels;
    PictureRows rows;
};

struct Font : HGDIOBJ__ {
    FontSetup setup;
};

struct Brush : HGDIOBJ__ {
    std::uint32_t xrgb = 0;
};

enum class DcKind { MEMORY, SURFACE, SCREEN };

}  // namespace koru::posix

struct HDC__ {
    koru::posix::DcKind kind;
    koru::posix::PixelSurface surface{};  // SURFACE: the caller's pixels
    RECT clip{};                          // SURFACE: client coordinates
    bool used = false;                    // SURFACE: its pixels were drawn on
    koru::posix::Bitmap* bitmap = nullptr;  // MEMORY: never null
    koru::posix::Font* font = nullptr;      // never null
    int bkMode = OPAQUE;  // kept for SetBkMode to give back; text never paints a box (gdi_text.cpp)
};

namespace koru::posix {

// Where a context draws: pixel (x, y) is pixels[y * pitch + x]; `clip` lies
// inside 0..width x 0..height and may be empty.
struct DrawTarget {
    std::uint32_t* pixels;
    int width;
    int height;
    int pitch;
    RECT clip;
};

HDC__* LiveDC(HDC dc);
Bitmap* LiveBitmap(HGDIOBJ object);
Font* LiveFont(HGDIOBJ object);

// False for a context that has no pixels (the screen context, or a
// picture whose pixels there is no memory for).
bool GetDrawTarget(HDC__& dc, DrawTarget& target);

// A new, registered, black bitmap; null if the size is unreasonable or the
// memory is not there.
Bitmap* NewBitmap(int width, int height);

// A new, registered bitmap whose pixels are read from `rows` when first
// used; the rows must already be known to lie within their bytes.
Bitmap* NewPicture(int width, int height, const PictureRows& rows);

inline COLORREF ToColorref(std::uint32_t xrgb)
{
    return RGB((xrgb >> 16) & 0xFF, (xrgb >> 8) & 0xFF, xrgb & 0xFF);
}

}  // namespace koru::posix
