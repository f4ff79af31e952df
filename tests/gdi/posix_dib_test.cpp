// Reading .bmp images: good ones come out as 0x00RRGGBB top-down, and any
// header that does not fit its bytes is refused without reading past them.
#include "dib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

using koru::posix::ReadBitmapFile;

void Put32(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

void Put16(std::vector<std::uint8_t>& bytes, std::size_t at, std::uint16_t value)
{
    bytes[at] = static_cast<std::uint8_t>(value);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

// A 3 x 2 image: row stride 12 bytes at 24 bits (9 padded), 12 at 32.
std::vector<std::uint8_t> Image(int bitsPixel, std::int32_t height = 2)
{
    const std::size_t stride = 12;
    std::vector<std::uint8_t> bytes(54 + stride * 2, 0);
    bytes[0] = 'B';
    bytes[1] = 'M';
    Put32(bytes, 2, static_cast<std::uint32_t>(bytes.size()));
    Put32(bytes, 10, 54);
    Put32(bytes, 14, 40);
    Put32(bytes, 18, 3);
    Put32(bytes, 22, static_cast<std::uint32_t>(height));
    Put16(bytes, 26, 1);
    Put16(bytes, 28, static_cast<std::uint16_t>(bitsPixel));
    // Stored row 0: blue, green, red pixels; stored row 1: white, black, grey.
    const std::uint32_t rows[2][3] = {{0x0000FF, 0x00FF00, 0xFF0000}, {0xFFFFFF, 0x000000, 0x808080}};
    for (int row = 0; row < 2; ++row) {
        for (int column = 0; column < 3; ++column) {
            const std::size_t at = 54 + row * stride + column * (bitsPixel / 8);
            bytes[at] = static_cast<std::uint8_t>(rows[row][column]);
            bytes[at + 1] = static_cast<std::uint8_t>(rows[row][column] >> 8);
            bytes[at + 2] = static_cast<std::uint8_t>(rows[row][column] >> 16);
        }
    }
    return bytes;
}

COLORREF PixelOf(HBITMAP bitmap, int x, int y)
{
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bitmap);
    const COLORREF pixel = GetPixel(dc, x, y);
    DeleteDC(dc);
    return pixel;
}

TEST(ReadBitmapFile, BottomUpRowsComeOutTopDown)
{
    for (int bitsPixel : {24, 32}) {
        const std::vector<std::uint8_t> bytes = Image(bitsPixel);
        HBITMAP bitmap = ReadBitmapFile(bytes.data(), bytes.size());
        ASSERT_NE(bitmap, nullptr) << bitsPixel;
        EXPECT_EQ(PixelOf(bitmap, 0, 1), RGB(0, 0, 255)) << bitsPixel;
        EXPECT_EQ(PixelOf(bitmap, 2, 1), RGB(255, 0, 0)) << bitsPixel;
        EXPECT_EQ(PixelOf(bitmap, 0, 0), RGB(255, 255, 255)) << bitsPixel;
        EXPECT_EQ(PixelOf(bitmap, 2, 0), RGB(128, 128, 128)) << bitsPixel;
        DeleteObject(bitmap);
    }
}

TEST(ReadBitmapFile, NegativeHeightIsTopDown)
{
    const std::vector<std::uint8_t> bytes = Image(24, -2);
    HBITMAP bitmap = ReadBitmapFile(bytes.data(), bytes.size());
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(PixelOf(bitmap, 0, 0), RGB(0, 0, 255));
    DeleteObject(bitmap);
}

struct Damage {
    const char* what;
    std::size_t at;
    std::uint32_t value;
    int width;  // bytes written: 2 or 4
};

class DamagedHeader : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedHeader, IsRefused)
{
    const Damage& d = GetParam();
    std::vector<std::uint8_t> bytes = Image(24);
    if (d.width == 2) {
        Put16(bytes, d.at, static_cast<std::uint16_t>(d.value));
    } else {
        Put32(bytes, d.at, d.value);
    }
    EXPECT_EQ(ReadBitmapFile(bytes.data(), bytes.size()), nullptr) << d.what;
}

INSTANTIATE_TEST_SUITE_P(
    Headers, DamagedHeader,
    ::testing::Values(Damage{"signature", 0, 'X', 2},
                      Damage{"pixels past the end", 10, 60, 4},
                      Damage{"offset far past the end", 10, 0xFFFFFFF0u, 4},
                      Damage{"offset inside the header", 10, 20, 4},
                      Damage{"header too small", 14, 12, 4},
                      Damage{"header larger than the offset allows", 14, 124, 4},
                      Damage{"zero width", 18, 0, 4},
                      Damage{"negative width", 18, 0xFFFFFFFDu, 4},
                      Damage{"huge width", 18, 0x7FFFFFFFu, 4},
                      Damage{"zero height", 22, 0, 4},
                      Damage{"most negative height", 22, 0x80000000u, 4},
                      Damage{"rows past the end", 22, 3, 4},
                      Damage{"two planes", 26, 2, 2},
                      Damage{"8 bits a pixel", 28, 8, 2},
                      Damage{"16 bits a pixel", 28, 16, 2},
                      Damage{"RLE compression", 30, 1, 4},
                      Damage{"bit fields", 30, 3, 4}));

TEST(ReadBitmapFile, TruncatedFilesAreRefused)
{
    const std::vector<std::uint8_t> bytes = Image(24);
    for (std::size_t size : {std::size_t{0}, std::size_t{2}, std::size_t{53}, bytes.size() - 1}) {
        EXPECT_EQ(ReadBitmapFile(bytes.data(), size), nullptr) << size;
    }
    EXPECT_EQ(ReadBitmapFile(nullptr, 100), nullptr);
}

}  // namespace
