// Reading a .bmp file image (file header, BITMAPINFOHEADER, pixels) into a
// bitmap object. The bytes are checked before anything is read from them.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

namespace koru::posix {

// A new bitmap with the file's pixels as 0x00RRGGBB; null unless the image
// is an uncompressed 24- or 32-bit one lying wholly within `size` bytes. The
// pixels are read from `data` on first use, so it must outlive the bitmap.
HBITMAP ReadBitmapFile(const std::uint8_t* data, std::size_t size);

}  // namespace koru::posix
