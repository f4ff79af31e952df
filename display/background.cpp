// Background pictures are bitmap resources of the module that owns the
// window; the screen font is "ＭＳ ゴシック" asked for by its code page 932
// name.
#include "background.h"

HBITMAP backgroundBitmaps[BACKGROUND_COUNT] = {};

namespace {

const char* const BACKGROUND_NAMES[BACKGROUND_COUNT] = {
    "BG_BMP", "BG0_BMP", "BG1_BMP", "BG2_BMP", "BG3_BMP", "BG4_BMP", "BG5_BMP",
};

// "ＭＳ ゴシック" in code page 932.
const char TEXT_FONT_FACE[] = "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E";

void LoadBackgrounds(HWND window)
{
    const HINSTANCE instance =
        reinterpret_cast<HINSTANCE>(static_cast<LONG_PTR>(GetWindowLongA(window, GWL_HINSTANCE)));
    for (int i = 0; i < BACKGROUND_COUNT; ++i) {
        if (backgroundBitmaps[i] == nullptr) {
            backgroundBitmaps[i] = LoadBitmapA(instance, BACKGROUND_NAMES[i]);
        }
    }
}

}  // namespace

void DrawBackground(HWND window, HDC dc, int index)
{
    if (index < 0 || index >= BACKGROUND_COUNT) {
        return;
    }
    // Entry 0 doubles as the "loaded" mark: while BG_BMP is missing, each
    // draw tries again the pictures still missing. Any other missing one
    // stays missing.
    if (backgroundBitmaps[0] == nullptr) {
        LoadBackgrounds(window);
    }
    const HBITMAP bitmap = backgroundBitmaps[index];
    if (bitmap == nullptr) {
        return;  // a missing picture draws nothing: the white background shows
    }
    BITMAP record{};
    if (GetObjectA(bitmap, sizeof record, &record) == 0) {
        return;
    }
    const HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, bitmap);
    BitBlt(dc, 0, 0, record.bmWidth, record.bmHeight, memory, 0, 0, SRCCOPY);
    // The memory context's own bitmap is not selected back; deleting the
    // context lets go of the picture, which the next draw selects again.
    DeleteDC(memory);
}

HFONT CreateTextFont(int height)
{
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, TEXT_FONT_FACE);
}
