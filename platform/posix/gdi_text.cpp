// TextOutA: the bytes are decoded in code page 932, the character set of
// every font the program makes, and drawn with FreeType, antialiased, in
// the default text colour, black. (x, y) is the top-left corner of the
// character cell, so the baseline is at y + ascent. The program draws all
// its text TRANSPARENT: the glyphs alone are drawn, whatever the context's
// background mode.
#include "gdi_objects.h"
#include "text_decode.h"

#include <windows.h>

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cstdint>

using namespace koru::posix;

namespace {

constexpr std::uint32_t INK = 0x000000;  // black: the program sets no other text colour

struct Glyph {
    FT_Face face;
    FT_UInt index;
};

// The font's own glyph, else the fallback face's, else the font's "missing"
// glyph, which Windows also draws for a character no face has.
Glyph FindGlyph(FT_Face face, FT_Face fallback, char32_t character)
{
    FT_UInt index = FT_Get_Char_Index(face, character);
    if (index == 0 && fallback != nullptr && fallback != face) {
        if (FT_UInt other = FT_Get_Char_Index(fallback, character); other != 0) {
            return {fallback, other};
        }
    }
    return {face, index};
}

bool LoadGlyph(const Glyph& glyph, FT_Int32 flags)
{
    // Outlines first so the result is antialiased; a bitmap-only face has none.
    return FT_Load_Glyph(glyph.face, glyph.index, flags | FT_LOAD_NO_BITMAP) == 0 ||
           FT_Load_Glyph(glyph.face, glyph.index, flags) == 0;
}

std::uint32_t Blend(std::uint32_t under, std::uint32_t ink, unsigned coverage)
{
    std::uint32_t result = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const unsigned d = (under >> shift) & 0xFF;
        const unsigned s = (ink >> shift) & 0xFF;
        result |= ((d * (255 - coverage) + s * coverage + 127) / 255) << shift;
    }
    return result;
}

void DrawCoverage(const DrawTarget& target, const FT_Bitmap& bitmap, std::int64_t left,
                  std::int64_t top, std::uint32_t ink)
{
    if ((bitmap.pixel_mode != FT_PIXEL_MODE_GRAY && bitmap.pixel_mode != FT_PIXEL_MODE_MONO) ||
        bitmap.pitch < 0 || bitmap.buffer == nullptr) {
        return;
    }
    for (unsigned row = 0; row < bitmap.rows; ++row) {
        const std::int64_t y = top + row;
        if (y < target.clip.top || y >= target.clip.bottom) {
            continue;
        }
        const unsigned char* line = bitmap.buffer + static_cast<std::ptrdiff_t>(row) * bitmap.pitch;
        for (unsigned column = 0; column < bitmap.width; ++column) {
            const std::int64_t x = left + column;
            if (x < target.clip.left || x >= target.clip.right) {
                continue;
            }
            unsigned coverage = 0;
            if (bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
                coverage = line[column] * 255u / std::max(1, bitmap.num_grays - 1);
            } else {
                coverage = (line[column / 8] >> (7 - column % 8)) & 1 ? 255 : 0;
            }
            if (coverage != 0) {
                std::uint32_t& pixel = target.pixels[y * target.pitch + x];
                pixel = Blend(pixel, ink, std::min(coverage, 255u));
            }
        }
    }
}

}  // namespace

BOOL WINAPI TextOutA(HDC dc, int x, int y, LPCSTR text, int length)
try {
    HDC__* context = LiveDC(dc);
    if (context == nullptr || length < 0 || (text == nullptr && length > 0)) {
        return FALSE;
    }
    const FontSetup& font = context->font->setup;
    DrawTarget target;
    if (length == 0 || font.face == nullptr || !GetDrawTarget(*context, target)) {
        return TRUE;
    }
    const std::u32string characters =
        DecodeText(text, static_cast<std::size_t>(length));
    FT_Face fallback = FallbackFace();
    // The faces are shared between fonts: size them for this one each time.
    FT_Set_Pixel_Sizes(font.face, 0, static_cast<FT_UInt>(font.ppem));
    if (fallback != nullptr && fallback != font.face) {
        FT_Set_Pixel_Sizes(fallback, 0, static_cast<FT_UInt>(font.ppem));
    }
    const std::int64_t baseline = std::int64_t{y} + font.ascent;
    std::int64_t pen = x;
    for (char32_t character : characters) {
        const Glyph glyph = FindGlyph(font.face, fallback, character);
        if (!LoadGlyph(glyph, FT_LOAD_RENDER)) {
            continue;
        }
        const FT_GlyphSlot slot = glyph.face->glyph;
        DrawCoverage(target, slot->bitmap, pen + slot->bitmap_left, baseline - slot->bitmap_top, INK);
        pen += slot->advance.x >> 6;
    }
    return TRUE;
} catch (...) {
    return FALSE;  // no memory to decode the text or to find a face
}
