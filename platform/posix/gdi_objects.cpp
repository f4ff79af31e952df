// GDI objects and paint contexts on Linux: creation, selection, deletion and
// the stock objects. A memory context starts with a 1x1 stock bitmap, as on
// Windows; SelectObject hands back what it replaced; an object deleted while
// selected lives on until the last context lets go of it.
#include "gdi_objects.h"

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <unordered_set>

namespace koru::posix {

namespace {

constexpr int SYSTEM_FONT = 13;
constexpr std::int64_t MAX_BITMAP_PIXELS = std::int64_t{MAX_BITMAP_SIDE} * MAX_BITMAP_SIDE;

// Objects and contexts are kept apart so neither is taken for the other.
// Never destroyed, so a handle used during process exit is still looked up;
// made without allocating, so looking a handle up never fails.
template <class Set>
Set& NeverDestroyed()
{
    static_assert(std::is_nothrow_default_constructible_v<Set>);
    alignas(Set) static unsigned char storage[sizeof(Set)];
    static Set* const set = new (storage) Set;
    return *set;
}

std::unordered_set<const HGDIOBJ__*>& LiveHandles()
{
    return NeverDestroyed<std::unordered_set<const HGDIOBJ__*>>();
}

std::unordered_set<const HDC__*>& LiveContexts()
{
    return NeverDestroyed<std::unordered_set<const HDC__*>>();
}

// Registers a new object, which the caller then owns no longer. Where there
// is no memory for the entry it throws, and the object is still the caller's.
template <class Object>
void Register(std::unique_ptr<Object>& object)
{
    LiveHandles().insert(object.get());
    object.release();
}

bool IsLive(HGDIOBJ object)
{
    return object != nullptr && LiveHandles().count(object) != 0;
}

// The stock objects are made on first use; one that cannot be made (no
// memory) throws, and is tried again on the next use.
template <class Object>
Object& Stock(std::unique_ptr<Object> object)
{
    object->stock = true;
    Object& kept = *object;
    Register(object);
    return kept;
}

Bitmap& DefaultBitmap()
{
    static Bitmap& bitmap = []() -> Bitmap& {
        auto b = std::make_unique<Bitmap>();
        b->kind = GdiKind::BITMAP;
        b->width = 1;
        b->height = 1;
        b->pixels = std::make_unique<std::uint32_t[]>(1);
        return Stock(std::move(b));
    }();
    return bitmap;
}

// The font a context holds until another is selected: the program's first
// screen draws its line in it.
Font& DefaultFont()
{
    static Font& font = []() -> Font& {
        auto f = std::make_unique<Font>();
        f->kind = GdiKind::FONT;
        f->setup = SetUpFont(nullptr, 0);
        return Stock(std::move(f));
    }();
    return font;
}

Brush* StockBrush(int index)
{
    static Brush* brushes[5] = {};
    static const std::uint32_t COLOURS[5] = {0xFFFFFF, 0xC0C0C0, 0x808080, 0x404040, 0x000000};
    if (index < 0 || index >= 5) {
        return nullptr;
    }
    if (brushes[index] == nullptr) {
        auto brush = std::make_unique<Brush>();
        brush->kind = GdiKind::BRUSH;
        brush->xrgb = COLOURS[index];
        brushes[index] = &Stock(std::move(brush));
    }
    return brushes[index];
}

void Destroy(HGDIOBJ__* object)
{
    LiveHandles().erase(object);
    switch (object->kind) {
    case GdiKind::BITMAP:
        delete static_cast<Bitmap*>(object);
        break;
    case GdiKind::FONT:
        delete static_cast<Font*>(object);
        break;
    case GdiKind::BRUSH:
        delete static_cast<Brush*>(object);
        break;
    }
}

void Hold(HGDIOBJ__* object)
{
    ++object->selectedCount;
}

void LetGo(HGDIOBJ__* object)
{
    if (--object->selectedCount == 0 && object->deletePending) {
        Destroy(object);
    }
}

// An unregistered bitmap without pixels; null if the size is unreasonable
// or there is no memory.
std::unique_ptr<Bitmap> NewRecord(int width, int height)
{
    if (width <= 0 || height <= 0 ||
        static_cast<std::int64_t>(width) * height > MAX_BITMAP_PIXELS) {
        return nullptr;
    }
    std::unique_ptr<Bitmap> bitmap(new (std::nothrow) Bitmap);
    if (bitmap != nullptr) {
        bitmap->kind = GdiKind::BITMAP;
        bitmap->width = width;
        bitmap->height = height;
    }
    return bitmap;
}

// Makes a picture's pixels on its first use. Every pixel is written, so the
// memory is not cleared first.
bool EnsurePixels(Bitmap& bitmap)
{
    if (bitmap.pixels != nullptr) {
        return true;
    }
    const auto width = static_cast<std::size_t>(bitmap.width);
    const auto count = width * static_cast<std::size_t>(bitmap.height);
    bitmap.pixels.reset(new (std::nothrow) std::uint32_t[count]);
    if (bitmap.pixels == nullptr) {
        return false;
    }
    const PictureRows& rows = bitmap.rows;
    for (int row = 0; row < bitmap.height; ++row) {
        const std::uint8_t* source = rows.top + row * rows.step;
        std::uint32_t* line = bitmap.pixels.get() + row * width;
        for (std::size_t column = 0; column < width; ++column) {
            const std::uint8_t* bgr = source + column * rows.bytesPixel;
            line[column] = static_cast<std::uint32_t>(bgr[2]) << 16 |
                           static_cast<std::uint32_t>(bgr[1]) << 8 | bgr[0];
        }
    }
    return true;
}

// Throws, having changed nothing, where there is no memory.
HDC NewDC(DcKind kind)
{
    Font& font = DefaultFont();
    Bitmap* bitmap = kind == DcKind::MEMORY ? &DefaultBitmap() : nullptr;
    auto dc = std::make_unique<HDC__>();
    dc->kind = kind;
    LiveContexts().insert(dc.get());
    dc->font = &font;
    Hold(dc->font);
    if (bitmap != nullptr) {
        dc->bitmap = bitmap;
        Hold(dc->bitmap);
    }
    return dc.release();
}

// Swaps what `slot` holds for `object` and returns the old one.
template <class Object>
HGDIOBJ Swap(Object*& slot, Object* object)
{
    Object* old = slot;
    if (old == object) {
        return old;
    }
    slot = object;
    Hold(object);
    LetGo(old);
    return old;
}

}  // namespace

HDC__* LiveDC(HDC dc)
{
    return dc != nullptr && LiveContexts().count(dc) != 0 ? dc : nullptr;
}

Bitmap* LiveBitmap(HGDIOBJ object)
{
    return IsLive(object) && object->kind == GdiKind::BITMAP && !object->deletePending
               ? static_cast<Bitmap*>(object)
               : nullptr;
}

Font* LiveFont(HGDIOBJ object)
{
    return IsLive(object) && object->kind == GdiKind::FONT && !object->deletePending
               ? static_cast<Font*>(object)
               : nullptr;
}

bool GetDrawTarget(HDC__& dc, DrawTarget& target)
{
    switch (dc.kind) {
    case DcKind::MEMORY:
        if (!EnsurePixels(*dc.bitmap)) {
            return false;
        }
        target = {dc.bitmap->pixels.get(), dc.bitmap->width, dc.bitmap->height,
                  dc.bitmap->width, {0, 0, dc.bitmap->width, dc.bitmap->height}};
        return true;
    case DcKind::SURFACE:
        dc.used = true;
        target = {dc.surface.pixels, dc.surface.width, dc.surface.height, dc.surface.pitch, dc.clip};
        target.clip.left = target.clip.left < 0 ? 0 : target.clip.left;
        target.clip.top = target.clip.top < 0 ? 0 : target.clip.top;
        target.clip.right = target.clip.right > target.width ? target.width : target.clip.right;
        target.clip.bottom = target.clip.bottom > target.height ? target.height : target.clip.bottom;
        return true;
    case DcKind::SCREEN:
        break;
    }
    return false;
}

Bitmap* NewBitmap(int width, int height)
{
    std::unique_ptr<Bitmap> bitmap = NewRecord(width, height);
    if (bitmap == nullptr) {
        return nullptr;
    }
    const auto count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    bitmap->pixels.reset(new (std::nothrow) std::uint32_t[count]());
    if (bitmap->pixels == nullptr) {
        return nullptr;
    }
    Bitmap* made = bitmap.get();
    Register(bitmap);
    return made;
}

Bitmap* NewPicture(int width, int height, const PictureRows& rows)
{
    std::unique_ptr<Bitmap> bitmap = NewRecord(width, height);
    if (bitmap == nullptr) {
        return nullptr;
    }
    bitmap->rows = rows;
    Bitmap* made = bitmap.get();
    Register(bitmap);
    return made;
}

HDC CreateSurfaceDC(const PixelSurface& surface, const RECT& clip)
{
    HDC dc = NewDC(DcKind::SURFACE);
    if (dc == nullptr) {
        return nullptr;
    }
    const bool usable = surface.pixels != nullptr && surface.width > 0 && surface.height > 0 &&
                        surface.pitch >= surface.width;
    if (usable) {
        dc->surface = surface;
        dc->clip = clip;
    }  // else: no pixels and an empty clip, so it draws nothing
    return dc;
}

bool SurfaceDCUsed(HDC dc)
{
    const HDC__* context = LiveDC(dc);
    return context != nullptr && context->kind == DcKind::SURFACE && context->used;
}

bool BrushColour(HGDIOBJ brush, std::uint32_t& xrgb)
{
    if (!IsLive(brush) || brush->kind != GdiKind::BRUSH) {
        return false;
    }
    xrgb = static_cast<Brush*>(brush)->xrgb;
    return true;
}

}  // namespace koru::posix

using namespace koru::posix;

HGDIOBJ WINAPI GetStockObject(int object)
try {
    if (object == SYSTEM_FONT) {
        return &DefaultFont();
    }
    return StockBrush(object);
} catch (...) {
    return nullptr;  // not made yet, and no memory to make it
}

int WINAPI GetObjectA(HGDIOBJ object, int bufferSize, LPVOID buffer)
{
    Bitmap* bitmap = LiveBitmap(object);
    if (bitmap == nullptr) {
        return 0;  // only bitmaps are described
    }
    if (buffer == nullptr) {
        return sizeof(BITMAP);
    }
    if (bufferSize < static_cast<int>(sizeof(BITMAP))) {
        return 0;
    }
    BITMAP record{};
    record.bmWidth = bitmap->width;
    record.bmHeight = bitmap->height;
    record.bmWidthBytes = bitmap->width * 4;
    record.bmPlanes = 1;
    record.bmBitsPixel = 32;
    *static_cast<BITMAP*>(buffer) = record;
    return sizeof(BITMAP);
}

HDC WINAPI CreateCompatibleDC(HDC dc)
try {
    if (dc != nullptr && LiveDC(dc) == nullptr) {
        return nullptr;
    }
    return NewDC(DcKind::MEMORY);
} catch (...) {
    return nullptr;
}

BOOL WINAPI DeleteDC(HDC dc)
{
    HDC__* context = LiveDC(dc);
    if (context == nullptr) {
        return FALSE;
    }
    LiveContexts().erase(context);
    LetGo(context->font);
    if (context->bitmap != nullptr) {
        LetGo(context->bitmap);
    }
    delete context;
    return TRUE;
}

HDC WINAPI GetDC(HWND window)
try {
    return window == nullptr ? NewDC(DcKind::SCREEN) : nullptr;
} catch (...) {
    return nullptr;
}

int WINAPI ReleaseDC(HWND, HDC dc)
{
    HDC__* context = LiveDC(dc);
    if (context == nullptr || context->kind != DcKind::SCREEN) {
        return 0;
    }
    return DeleteDC(dc);
}

HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object)
{
    HDC__* context = LiveDC(dc);
    if (context == nullptr) {
        return nullptr;
    }
    if (Font* font = LiveFont(object)) {
        return Swap(context->font, font);
    }
    Bitmap* bitmap = LiveBitmap(object);
    if (bitmap == nullptr || context->kind != DcKind::MEMORY) {
        return nullptr;  // brushes are not kept: nothing here paints with one
    }
    // A bitmap can be in one context at a time; stock ones in any.
    if (bitmap != context->bitmap && bitmap->selectedCount > 0 && !bitmap->stock) {
        return nullptr;
    }
    return Swap(context->bitmap, bitmap);
}

BOOL WINAPI DeleteObject(HGDIOBJ object)
{
    if (!IsLive(object) || object->deletePending) {
        return FALSE;
    }
    if (object->stock) {
        return TRUE;
    }
    if (object->selectedCount > 0) {
        object->deletePending = true;
        return TRUE;
    }
    Destroy(object);
    return TRUE;
}

HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height)
try {
    if (dc != nullptr && LiveDC(dc) == nullptr) {
        return nullptr;
    }
    if (width == 0 || height == 0) {
        return &DefaultBitmap();  // Windows answers an empty size with its 1x1 bitmap
    }
    return NewBitmap(width, height);
} catch (...) {
    return nullptr;
}

HFONT WINAPI CreateFontA(int height, int, int, int, int, DWORD, DWORD, DWORD, DWORD, DWORD, DWORD,
                         DWORD, DWORD, LPCSTR faceName)
try {
    // Only the height and face shape the result; a face that is not there
    // still gives a font, drawn in a fallback face. Every font's text is
    // code page 932: the program asks for SHIFTJIS_CHARSET alone.
    auto font = std::make_unique<Font>();
    font->kind = GdiKind::FONT;
    font->setup = SetUpFont(faceName, height);
    Font* made = font.get();
    Register(font);
    return made;
} catch (...) {
    return nullptr;  // as on Windows, the caller's text is then drawn in the font it has
}

int WINAPI SetBkMode(HDC dc, int mode)
{
    HDC__* context = LiveDC(dc);
    if (context == nullptr || (mode != TRANSPARENT && mode != OPAQUE)) {
        return 0;
    }
    const int old = context->bkMode;
    context->bkMode = mode;
    return old;
}
