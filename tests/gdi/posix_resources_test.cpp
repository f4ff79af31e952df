// The pictures built into the Linux library load by their resource names
// and draw as their files hold them. (What the Windows executable carries,
// the PE checker reads from the executable itself.)
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <iterator>
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

std::string ReadFile(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

TEST(Resources, EveryPictureLoadsByNameInAnyCase)
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
    const std::string bg = ReadFile(KORU_PICTURE_DIR "/BG_BMP.bmp");
    const std::string bg0 = ReadFile(KORU_PICTURE_DIR "/BG0_BMP.bmp");
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

}  // namespace
