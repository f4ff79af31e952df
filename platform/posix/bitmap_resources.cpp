// LoadBitmapA over the pictures built into the program. The process has one
// module, so the instance is not consulted. Names compare without regard to
// case, as resource names do; a numeric name ("#12" or MAKEINTRESOURCE)
// names nothing here.
#include "dib.h"
#include "embedded_pictures.h"

#include <windows.h>

#include <cstdint>

using namespace koru::posix;

namespace {

bool SameName(const char* a, const char* b)
{
    auto lower = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        if (lower(*a) != lower(*b)) {
            return false;
        }
    }
    return *a == *b;
}

}  // namespace

HBITMAP WINAPI LoadBitmapA(HINSTANCE, LPCSTR bitmapName)
try {
    // Integer resource ids are pointer values below 0x10000, never strings.
    if (reinterpret_cast<std::uintptr_t>(bitmapName) < 0x10000) {
        return nullptr;
    }
    for (std::size_t i = 0; i < EMBEDDED_PICTURE_COUNT; ++i) {
        const EmbeddedPicture& picture = EMBEDDED_PICTURES[i];
        if (SameName(picture.name, bitmapName)) {
            const auto size = reinterpret_cast<std::uintptr_t>(picture.end) -
                              reinterpret_cast<std::uintptr_t>(picture.begin);
            return ReadBitmapFile(picture.begin, size);
        }
    }
    return nullptr;
} catch (...) {
    return nullptr;  // no memory for the bitmap's record
}
