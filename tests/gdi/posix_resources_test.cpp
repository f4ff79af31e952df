// The pictures named by the Windows resource script are the ones built into
// the Linux library, they draw as their files hold them, and the manifest
// says what the program needs.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <string>

namespace {

// A picture's pixel as its .bmp file holds it (24-bit, bottom-up rows).
COLORREF FilePixel(const std::string& file, int x, int y)
{
    auto u32 = [&](std::size_t at) {
        return static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at])) |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + 1])) << 8 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + 2])) << 16 |
               static_cast<std::uint32_t>(static_cast<std::uint8_t>(file[at + 3])) << 24;
    };
    const std::size_t width = u32(18);
    const std::size_t height = u32(22);
    const std::size_t stride = (width * 3 + 3) / 4 * 4;
    const std::size_t at = u32(10) + (height - 1 - y) * stride + x * 3;
    return RGB(static_cast<std::uint8_t>(file[at + 2]), static_cast<std::uint8_t>(file[at + 1]),
               static_cast<std::uint8_t>(file[at]));
}

std::string ReadText(const char* path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(Resources, ScriptNamesTheSevenPicturesAndTheManifest)
{
    const std::string script = ReadText(KORU_RC_PATH);
    ASSERT_FALSE(script.empty()) << KORU_RC_PATH;
    std::set<std::string> named;
    const std::regex bitmapLine(R"(^(\w+)\s+BITMAP\s+"(\w+)\.bmp")", std::regex::multiline);
    for (std::sregex_iterator it(script.begin(), script.end(), bitmapLine), end; it != end; ++it) {
        EXPECT_EQ((*it)[1], (*it)[2]) << "a picture's file is named after it";
        named.insert((*it)[1]);
    }
    EXPECT_EQ(named, (std::set<std::string>{"BG_BMP", "BG0_BMP", "BG1_BMP", "BG2_BMP", "BG3_BMP",
                                            "BG4_BMP", "BG5_BMP"}));
    EXPECT_NE(script.find("LANGUAGE 0x09, 0x01"), std::string::npos);
    EXPECT_TRUE(std::regex_search(script, std::regex(R"(^1\s+24\s+"koru-bench\.manifest")",
                                                     std::regex::multiline)));
}

TEST(Resources, EveryScriptedPictureLoadsByNameInAnyCase)
{
    for (const char* name : {"BG_BMP", "BG0_BMP", "BG1_BMP", "BG2_BMP", "BG3_BMP", "BG4_BMP",
                             "BG5_BMP", "bg_bmp", "Bg5_Bmp"}) {
        HBITMAP bitmap = LoadBitmapA(nullptr, name);
        ASSERT_NE(bitmap, nullptr) << name;
        BITMAP record{};
        ASSERT_EQ(GetObjectA(bitmap, sizeof record, &record), static_cast<int>(sizeof record));
        EXPECT_EQ(record.bmWidth, 640) << name;
        EXPECT_EQ(record.bmHeight, 480) << name;
        DeleteObject(bitmap);
    }
}

// Pictures are converted when first used; whichever use comes first, the
// result must be the file's pixels.
TEST(Resources, PicturesDrawTheirFilesPixelsWhateverTheFirstUse)
{
    const std::string bg = ReadFile(std::string(KORU_PICTURE_DIR) + "/BG_BMP.bmp");
    const std::string bg0 = ReadFile(std::string(KORU_PICTURE_DIR) + "/BG0_BMP.bmp");
    ASSERT_GT(bg.size(), 54u);
    ASSERT_GT(bg0.size(), 54u);
    HBITMAP picture = LoadBitmapA(nullptr, "BG_BMP");
    HBITMAP other = LoadBitmapA(nullptr, "BG0_BMP");
    ASSERT_NE(picture, nullptr);
    ASSERT_NE(other, nullptr);
    BITMAP record{};
    ASSERT_EQ(GetObjectA(picture, sizeof record, &record), static_cast<int>(sizeof record));
    EXPECT_EQ(record.bmWidth, 640);
    EXPECT_EQ(record.bmHeight, 480);

    const int points[][2] = {{0, 0}, {639, 0}, {0, 479}, {639, 479}, {320, 240}, {17, 401}};
    // First use as the source of a copy.
    HDC source = CreateCompatibleDC(nullptr);
    HDC copy = CreateCompatibleDC(nullptr);
    SelectObject(source, picture);
    HBITMAP canvas = CreateCompatibleBitmap(copy, 640, 480);
    SelectObject(copy, canvas);
    ASSERT_TRUE(BitBlt(copy, 0, 0, 640, 480, source, 0, 0, SRCCOPY));
    for (const auto& p : points) {
        EXPECT_EQ(GetPixel(copy, p[0], p[1]), FilePixel(bg, p[0], p[1])) << p[0] << "," << p[1];
    }
    // First use as a destination: what is not drawn over is still the file's.
    SelectObject(source, other);
    ASSERT_TRUE(PatBlt(source, 0, 0, 10, 10, BLACKNESS));
    EXPECT_EQ(GetPixel(source, 9, 9), RGB(0, 0, 0));
    for (const auto& p : points) {
        EXPECT_EQ(GetPixel(source, p[0], p[1]),
                  p[0] < 10 && p[1] < 10 ? RGB(0, 0, 0) : FilePixel(bg0, p[0], p[1]))
            << p[0] << "," << p[1];
    }
    DeleteDC(source);
    DeleteDC(copy);
    DeleteObject(canvas);
    DeleteObject(picture);
    DeleteObject(other);
}

TEST(Resources, UnknownAndNumericNamesLoadNothing)
{
    EXPECT_EQ(LoadBitmapA(nullptr, "BG6_BMP"), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "BG_BMP "), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, ""), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, "#1"), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(LoadBitmapA(nullptr, nullptr), nullptr);
}

TEST(Resources, ManifestAsksForTheInvokersLevelAndNothingElse)
{
    const std::string manifest = ReadText(KORU_MANIFEST_PATH);
    EXPECT_TRUE(std::regex_search(
        manifest, std::regex(R"(<requestedExecutionLevel\s+level="asInvoker"\s+uiAccess="false"\s*/>)")));
    for (const char* absent : {"dependency", "compatibility", "application", "assemblyIdentity",
                               "dpiAware"}) {
        EXPECT_EQ(manifest.find(absent), std::string::npos) << absent;
    }
}

}  // namespace
