// Fonts on Linux: the face a CreateFontA request gets (fontconfig), and the
// Windows cell metrics of that face at the requested height.
#pragma once

struct FT_FaceRec_;

namespace koru::posix {

struct FontSetup {
    FT_FaceRec_* face = nullptr;  // shared and kept for the process; null: no font at all
    int ppem = 0;
    int ascent = 0;   // cell top to baseline, internal leading included
    int descent = 0;  // baseline to cell bottom
};

// `faceName` is in code page 932 and may be null. A positive height is the
// cell height, a negative one the em height, 0 a default.
FontSetup SetUpFont(const char* faceName, int height);

// A face to borrow glyphs from that the chosen face lacks; null if none.
FT_FaceRec_* FallbackFace();

}  // namespace koru::posix
