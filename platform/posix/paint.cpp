// The update region, the back buffer and BeginPaint/EndPaint, which shows
// what a paint drew (present.cpp). The update region is kept as its
// bounding rectangle: the program only ever invalidates the whole client
// area.
#include "paint.h"

#include "gdi_surface.h"
#include "present.h"

#include <algorithm>
#include <new>

namespace {

bool IsEmpty(const RECT& rect)
{
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

RECT Intersect(const RECT& a, const RECT& b)
{
    RECT result{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
                std::min(a.bottom, b.bottom)};
    return IsEmpty(result) ? RECT{} : result;
}

RECT Bound(const RECT& a, const RECT& b)
{
    if (IsEmpty(a)) {
        return b;
    }
    if (IsEmpty(b)) {
        return a;
    }
    return RECT{std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
                std::max(a.bottom, b.bottom)};
}

using koru::posix::Window;

std::uint32_t BackgroundColour(const Window& window)
{
    std::uint32_t colour = 0xFFFFFF;
    koru::posix::BrushColour(window.background, colour);
    return colour;
}

void InvalidateWhole(Window& window, bool erase)
{
    if (!window.visible) {
        return;  // a hidden window has nothing to repaint; showing it invalidates
    }
    window.update = RECT{0, 0, window.width, window.height};
    // Sticky: one invalidation asking to erase erases the whole update region.
    window.updateErase = window.updateErase || erase;
}

bool ResizeBackBuffer(Window& window, int width, int height)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    // A maximized window on an 8K display needs 130 MB; where that is not
    // to be had, the old buffer stays and the paints are clipped to it.
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    std::unique_ptr<std::uint32_t[]> pixels(new (std::nothrow) std::uint32_t[count]);
    if (pixels == nullptr) {
        return false;
    }
    std::fill_n(pixels.get(), count, BackgroundColour(window));
    const int keepWidth = std::min(width, window.width);
    const int keepHeight = std::min(height, window.height);
    for (int y = 0; y < keepHeight; ++y) {
        std::copy_n(window.pixels.get() + static_cast<std::ptrdiff_t>(y) * window.width,
                    keepWidth, pixels.get() + static_cast<std::ptrdiff_t>(y) * width);
    }
    window.pixels = std::move(pixels);
    window.width = width;
    window.height = height;
    window.update = Intersect(window.update, RECT{0, 0, width, height});
    return true;
}

}  // namespace

namespace koru::posix {

bool SetClientSize(Window& window, int width, int height)
{
    if (width == window.width && height == window.height) {
        return true;
    }
    const bool resized = ResizeBackBuffer(window, width, height);
    InvalidateWhole(window, true);
    return resized;
}

bool SetScreenSize(Window& window, int width, int height)
{
    window.screenWidth = width;
    window.screenHeight = height;
    return SetClientSize(window, std::max(1, width / window.scale), std::max(1, height / window.scale));
}

void SetVisible(Window& window, bool visible)
{
    window.visible = visible;
    if (visible) {
        InvalidateWhole(window, true);
    } else {
        window.update = RECT{};
        window.updateErase = false;
    }
}

bool NeedsPaint(const Window& window)
{
    return window.visible && !IsEmpty(window.update);
}

HWND WindowToPaint()
{
    for (const auto& [handle, window] : User().windows) {
        if (NeedsPaint(*window)) {
            return window->handle;
        }
    }
    return nullptr;
}

bool EraseUpdateArea(Window& window)
{
    std::uint32_t colour = 0;
    if (!window.painting || !BrushColour(window.background, colour)) {
        return false;
    }
    const RECT inside = Intersect(window.paintArea, RECT{0, 0, window.width, window.height});
    window.paintErased = true;
    for (int y = inside.top; y < inside.bottom; ++y) {
        std::uint32_t* row = window.pixels.get() + static_cast<std::ptrdiff_t>(y) * window.width;
        std::fill(row + inside.left, row + inside.right, colour);
    }
    return true;
}

}  // namespace koru::posix

BOOL WINAPI InvalidateRect(HWND handle, const RECT* rect, BOOL erase)
{
    using namespace koru::posix;
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;  // NULL (every window) is not supported
    }
    if (!window->visible) {
        return TRUE;
    }
    const RECT client{0, 0, window->width, window->height};
    const RECT area = rect != nullptr ? Intersect(*rect, client) : client;
    if (IsEmpty(area)) {
        return TRUE;
    }
    window->update = Bound(window->update, area);
    // Sticky, as in InvalidateWhole.
    window->updateErase = window->updateErase || erase != FALSE;
    return TRUE;
}

HDC WINAPI BeginPaint(HWND handle, LPPAINTSTRUCT paint)
try {
    using namespace koru::posix;
    Window* window = LookUpWindow(handle);
    if (window == nullptr || paint == nullptr) {
        return nullptr;
    }
    *paint = PAINTSTRUCT{};
    // Validated even if no context can be made: asking again at once would
    // only spin while memory is short.
    const RECT area = window->update;
    const bool erase = window->updateErase;
    window->update = RECT{};
    window->updateErase = false;
    const PixelSurface surface{window->pixels.get(), window->width, window->height,
                               window->width};
    const HDC dc = CreateSurfaceDC(surface, area);
    if (dc == nullptr) {
        return nullptr;
    }
    window->paintArea = area;
    window->painting = true;
    window->paintErased = false;
    paint->hdc = dc;
    paint->rcPaint = area;
    // As on Windows, fErase stays set only if WM_ERASEBKGND did not erase.
    paint->fErase = erase;
    if (erase && SendToWindow(handle, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) != 0) {
        paint->fErase = FALSE;
    }
    return dc;
} catch (...) {
    return nullptr;  // no memory for the paint context
}

BOOL WINAPI EndPaint(HWND handle, const PAINTSTRUCT* paint)
{
    using namespace koru::posix;
    if (paint == nullptr) {
        return FALSE;
    }
    // Most paints draw nothing (a timer tick between two changes of the
    // screen): presenting those would only copy the same pixels again.
    const bool drew = paint->hdc != nullptr && SurfaceDCUsed(paint->hdc);
    if (paint->hdc != nullptr) {
        DeleteDC(paint->hdc);
    }
    Window* window = LookUpWindow(handle);
    if (window != nullptr && window->painting) {
        window->painting = false;
        if (drew || window->paintErased) {
            Present(*window, window->paintArea);
        }
    }
    return TRUE;
}
