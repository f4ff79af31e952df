// Face matching and cell metrics for CreateFontA. fontconfig picks the file
// (a Japanese face: "ＭＳ ゴシック" alone would match a Latin one), FreeType
// opens it once for the process, and the Windows cell metrics come from the
// face's OS/2 table the way Wine derives them.
#include "font.h"

#include "stderr_line.h"
#include "text_decode.h"

#include <windows.h>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

namespace koru::posix {

namespace {

constexpr int DEFAULT_CELL_HEIGHT = 16;
constexpr std::int64_t MAX_PPEM = 1024;
constexpr FcChar32 HIRAGANA_A = 0x3042;

struct FaceFile {
    std::string path;
    int index = 0;
};

// Everything here is opened on first use and kept until the process ends,
// so a second CreateFontA costs two map look-ups.
struct FontCache {
    bool triedLibrary = false;
    FT_Library library = nullptr;
    std::map<std::string, FT_Face> matchedFaces;             // by requested family
    std::map<std::pair<std::string, int>, FT_Face> openFaces;  // by file
    bool triedFallback = false;
    FT_Face fallback = nullptr;
};

FontCache& Cache()
{
    static FontCache* cache = new FontCache;  // never destroyed: faces outlive every font
    return *cache;
}

FT_Library Library()
{
    FontCache& cache = Cache();
    if (!cache.triedLibrary) {
        cache.triedLibrary = true;
        if (FT_Init_FreeType(&cache.library) != 0) {
            cache.library = nullptr;
        }
        // fontconfig keeps its configuration until FcFini; release it at
        // exit so leak checkers see only what is ours.
        if (FcInit()) {
            std::atexit(FcFini);
        }
    }
    return cache.library;
}

bool CoversJapanese(FcPattern* font)
{
    FcCharSet* charSet = nullptr;
    return FcPatternGetCharSet(font, FC_CHARSET, 0, &charSet) == FcResultMatch &&
           FcCharSetHasChar(charSet, HIRAGANA_A);
}

// fontconfig's best match for `family` (empty: any), asking for Japanese
// coverage; a match without it is taken only when `anyFace`.
bool MatchFile(const std::string& family, bool mono, bool anyFace, FaceFile& file)
{
    FcPattern* pattern = FcPatternCreate();
    if (pattern == nullptr) {
        return false;
    }
    if (!family.empty()) {
        FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    }
    if (!anyFace) {
        FcPatternAddString(pattern, FC_LANG, reinterpret_cast<const FcChar8*>("ja"));
    }
    if (mono) {
        // Only a hint: IPAGothic reports dual width, which fontconfig accepts.
        FcPatternAddInteger(pattern, FC_SPACING, FC_MONO);
    }
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* font = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (font == nullptr) {
        return false;
    }
    bool found = false;
    FcChar8* path = nullptr;
    if ((anyFace || CoversJapanese(font)) &&
        FcPatternGetString(font, FC_FILE, 0, &path) == FcResultMatch) {
        file.path = reinterpret_cast<const char*>(path);
        if (FcPatternGetInteger(font, FC_INDEX, 0, &file.index) != FcResultMatch) {
            file.index = 0;
        }
        found = true;
    }
    FcPatternDestroy(font);
    return found;
}

FT_Face OpenFace(const FaceFile& file)
{
    FT_Library library = Library();
    if (library == nullptr) {
        return nullptr;
    }
    FontCache& cache = Cache();
    const auto key = std::make_pair(file.path, file.index);
    auto open = cache.openFaces.find(key);
    if (open != cache.openFaces.end()) {
        return open->second;
    }
    FT_Face face = nullptr;
    if (FT_New_Face(library, file.path.c_str(), file.index, &face) != 0 ||
        FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
        if (face != nullptr) {
            FT_Done_Face(face);
        }
        face = nullptr;
    }
    cache.openFaces.emplace(key, face);
    return face;
}

// The requested family with Japanese glyphs, else a Japanese monospace face,
// else whatever fontconfig has.
FT_Face MatchFace(const std::string& family)
{
    FontCache& cache = Cache();
    auto known = cache.matchedFaces.find(family);
    if (known != cache.matchedFaces.end()) {
        return known->second;
    }
    Library();
    FT_Face face = nullptr;
    FaceFile file;
    if (!family.empty() && MatchFile(family, true, false, file)) {
        face = OpenFace(file);
    }
    if (face == nullptr && MatchFile("monospace", true, false, file)) {
        face = OpenFace(file);
    }
    if (face == nullptr) {
        // Whatever face there is still draws the Latin letters and digits.
        static std::atomic<bool> said{false};
        SayOnce(said, "no font with Japanese characters was found, so the Japanese texts cannot "
                      "be drawn; install fonts-ipafont-gothic");
        if (MatchFile("", false, true, file)) {
            face = OpenFace(file);
        }
    }
    cache.matchedFaces.emplace(family, face);
    return face;
}

// MulDiv for the non-negative values used here, rounding halves up.
std::int64_t ScaleRounded(std::int64_t value, std::int64_t numerator, std::int64_t denominator)
{
    return denominator <= 0 ? 0 : (value * numerator + denominator / 2) / denominator;
}

void SetMetrics(FT_Face face, int height, FontSetup& setup)
{
    const std::int64_t unitsPerEm = face->units_per_EM;
    std::int64_t winAscent = face->ascender;
    std::int64_t winDescent = -static_cast<std::int64_t>(face->descender);
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
        os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        winAscent = os2->usWinAscent;
        winDescent = os2->usWinDescent;
    }
    const std::int64_t cellHeight = height > 0 ? height : DEFAULT_CELL_HEIGHT;
    std::int64_t ppem = 0;
    if (height < 0) {
        ppem = -static_cast<std::int64_t>(height);
    } else if (unitsPerEm > 0 && winAscent + winDescent > 0) {
        ppem = ScaleRounded(unitsPerEm, cellHeight, winAscent + winDescent);
    } else {
        ppem = cellHeight;  // a bitmap face: no design units to scale
    }
    ppem = ppem < 1 ? 1 : ppem > MAX_PPEM ? MAX_PPEM : ppem;
    setup.ppem = static_cast<int>(ppem);
    if (unitsPerEm > 0 && winAscent + winDescent > 0) {
        setup.ascent = static_cast<int>(ScaleRounded(winAscent, ppem, unitsPerEm));
        setup.descent = static_cast<int>(ScaleRounded(winDescent, ppem, unitsPerEm));
    } else {
        setup.ascent = static_cast<int>(ppem * 4 / 5);
        setup.descent = static_cast<int>(ppem) - setup.ascent;
    }
}

}  // namespace

FontSetup SetUpFont(const char* faceName, int height)
{
    // A LOGFONT holds at most 31 bytes of face name.
    std::size_t nameLength = 0;
    while (faceName != nullptr && nameLength < 31 && faceName[nameLength] != '\0') {
        ++nameLength;
    }
    FontSetup setup;
    setup.face = MatchFace(ToUtf8(DecodeText(faceName, nameLength)));
    if (setup.face != nullptr) {
        SetMetrics(setup.face, height, setup);
    }
    return setup;
}

FT_FaceRec_* FallbackFace()
{
    FontCache& cache = Cache();
    if (!cache.triedFallback) {
        cache.triedFallback = true;
        cache.fallback = MatchFace("");
    }
    return cache.fallback;
}

}  // namespace koru::posix
