// The pictures are stored as .bmp files: a 14-byte file header whose last
// field is the offset of the pixels, then a BITMAPINFOHEADER (or a larger
// V4/V5 header starting with the same fields). Rows are bottom-up unless the
// height is negative, each padded to a multiple of 4 bytes.
#include "dib.h"

#include "gdi_objects.h"

namespace koru::posix {

namespace {

constexpr std::size_t FILE_HEADER_SIZE = 14;
constexpr std::uint32_t INFO_HEADER_SIZE = 40;
constexpr std::uint32_t BI_RGB = 0;

std::uint32_t ReadU32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

std::int32_t ReadI32(const std::uint8_t* p)
{
    return static_cast<std::int32_t>(ReadU32(p));  // two's complement since C++20
}

std::uint16_t ReadU16(const std::uint8_t* p)
{
    return static_cast<std::uint16_t>(p[0] | p[1] << 8);
}

}  // namespace

HBITMAP ReadBitmapFile(const std::uint8_t* data, std::size_t size)
{
    if (data == nullptr || size < FILE_HEADER_SIZE + INFO_HEADER_SIZE || data[0] != 'B' ||
        data[1] != 'M') {
        return nullptr;
    }
    const std::uint8_t* info = data + FILE_HEADER_SIZE;
    const std::uint64_t pixelOffset = ReadU32(data + 10);
    const std::uint32_t infoSize = ReadU32(info);
    const std::int64_t width = ReadI32(info + 4);
    const std::int64_t signedHeight = ReadI32(info + 8);
    const std::uint16_t planes = ReadU16(info + 12);
    const std::uint16_t bitsPixel = ReadU16(info + 14);
    const std::uint32_t compression = ReadU32(info + 16);
    const std::int64_t height = signedHeight < 0 ? -signedHeight : signedHeight;
    if (infoSize < INFO_HEADER_SIZE || FILE_HEADER_SIZE + infoSize > pixelOffset ||
        width <= 0 || width > MAX_BITMAP_SIDE || height == 0 || height > MAX_BITMAP_SIDE ||
        planes != 1 || (bitsPixel != 24 && bitsPixel != 32) || compression != BI_RGB) {
        return nullptr;
    }
    const std::uint64_t bytesPixel = bitsPixel / 8;
    const std::uint64_t stride = (static_cast<std::uint64_t>(width) * bitsPixel + 31) / 32 * 4;
    if (pixelOffset > size || stride * static_cast<std::uint64_t>(height) > size - pixelOffset) {
        return nullptr;
    }
    // The pixels are converted when first drawn; only where they lie is kept.
    const auto step = static_cast<std::ptrdiff_t>(stride);
    PictureRows rows{data + pixelOffset, step, static_cast<int>(bytesPixel)};
    if (signedHeight > 0) {  // bottom-up
        rows.top += (height - 1) * step;
        rows.step = -step;
    }
    return NewPicture(static_cast<int>(width), static_cast<int>(height), rows);
}

}  // namespace koru::posix
