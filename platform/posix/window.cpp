// Top-level windows over SDL windows: creation with WM_CREATE, showing,
// UpdateWindow's direct paint, destruction with WM_DESTROY.
#include "desktop_scale.h"
#include "image_base.h"
#include "paint.h"
#include "present.h"
#include "timer.h"
#include "user_state.h"
#include "video.h"
#include "window_manager.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int DEFAULT_WIDTH = 640;
constexpr int DEFAULT_HEIGHT = 480;

// CreateWindowExA's size is the outer one, frame and caption included, but
// X sizes the client area: the frame comes off it. Without a window
// manager there is no frame, and the whole outer size is client area. At a
// scale above 1 the outer size is that many times larger on the screen, and
// the frame, in screen pixels, comes off that.
void FitInFrame(koru::posix::Window& window, const koru::posix::FrameExtents& frame)
{
    window.frameFitted = true;
    const int width = std::max(window.scale, window.outerWidth * window.scale - frame.left - frame.right);
    const int height = std::max(window.scale, window.outerHeight * window.scale - frame.top - frame.bottom);
    if (width != window.screenWidth || height != window.screenHeight) {
        koru::posix::ResizeClientArea(window.sdlWindow, width, height);
        koru::posix::SetScreenSize(window, width, height);
    }
}

}  // namespace

HWND WINAPI CreateWindowExA(DWORD, LPCSTR className, LPCSTR windowName, DWORD style, int x,
                            int y, int width, int height, HWND parent, HMENU menu,
                            HINSTANCE instance, LPVOID param)
try {
    using namespace koru::posix;
    UserState& user = User();
    if (className == nullptr || parent != nullptr) {
        return nullptr;  // only top-level windows of registered classes
    }
    const auto windowClass = user.classes.find(ClassKey(className));
    if (windowClass == user.classes.end() || !OpenVideo()) {
        return nullptr;
    }
    if (width == CW_USEDEFAULT || height == CW_USEDEFAULT) {
        width = DEFAULT_WIDTH;
        height = DEFAULT_HEIGHT;
    }
    width = std::max(width, 1);
    height = std::max(height, 1);
    const int sdlX = x == CW_USEDEFAULT ? SDL_WINDOWPOS_UNDEFINED : x;
    const int sdlY = x == CW_USEDEFAULT ? SDL_WINDOWPOS_UNDEFINED : y;
    // Every window has a sizing frame, as WS_OVERLAPPEDWINDOW, the one
    // style the program uses, gives it. (SDL would pin a fixed-size
    // window's size hints to the outer size, and the window manager would
    // then undo taking the frame off.)
    const Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE;
    // Everything that allocates comes before the SDL window, so that memory
    // running out leaves nothing behind.
    auto window = std::make_unique<Window>();
    const std::uintptr_t handleValue = 0x10000 + 2 * (user.lastHandle + 1);
    const HWND handle = reinterpret_cast<HWND>(handleValue);
    window->handle = handle;
    window->procedure = windowClass->second.procedure;
    window->instance = instance;
    window->background = windowClass->second.background;
    window->outerWidth = width;
    window->outerHeight = height;
    // Client area and outer size are the same until the frame is known.
    if (!SetClientSize(*window, width, height)) {
        std::fprintf(stderr, "koru-bench: cannot open a window: no memory for its %d x %d pixels\n",
                     width, height);
        return nullptr;
    }
    Window& record = *user.windows.emplace(handleValue, std::move(window)).first->second;
    ++user.lastHandle;
    // Titles go to SDL as they are (UTF-8 expected); the program's is ASCII.
    SDL_Window* sdlWindow =
        SDL_CreateWindow(windowName != nullptr ? windowName : "", sdlX, sdlY, width, height, flags);
    if (sdlWindow == nullptr) {
        std::fprintf(stderr, "koru-bench: cannot open a window: %s\n", SDL_GetError());
        user.windows.erase(handleValue);
        return nullptr;
    }
    // At the desktop's scale, the same client area in more screen pixels.
    // The scale is read through the display's connection, which a window
    // gives; that one, never shown, makes way for one of the scaled size,
    // so that SDL's own surface has that size from the first paint on (a
    // window resized under it showed black until SDL heard of the size).
    record.scale = DesktopScale(sdlWindow, width, height);
    if (record.scale > 1) {
        SDL_DestroyWindow(sdlWindow);
        sdlWindow = SDL_CreateWindow(windowName != nullptr ? windowName : "", sdlX, sdlY,
                                     width * record.scale, height * record.scale, flags);
        if (sdlWindow == nullptr) {
            std::fprintf(stderr, "koru-bench: cannot open a window: %s\n", SDL_GetError());
            user.windows.erase(handleValue);
            return nullptr;
        }
    }
    record.sdlWindow = sdlWindow;
    record.sdlWindowId = SDL_GetWindowID(sdlWindow);
    record.screenWidth = width * record.scale;
    record.screenHeight = height * record.scale;
    // As on Windows, the client area has its size before WM_CREATE.
    if (FrameExtents frame; AskFrameExtents(sdlWindow, frame)) {
        FitInFrame(record, frame);
    }
    if (!OpenPresenter(record)) {
        SDL_DestroyWindow(sdlWindow);
        user.windows.erase(handleValue);
        return nullptr;
    }

    CREATESTRUCTA create{param, instance, menu, parent, height, width, y, x,
                         static_cast<LONG>(style), windowName, className, 0};
    if (SendToWindow(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
        DestroyWindow(handle);
        return nullptr;
    }
    if (LookUpWindow(handle) == nullptr) {
        return nullptr;  // destroyed by its own WM_CREATE
    }
    user.windowEverCreated = true;
    return handle;
} catch (...) {
    return nullptr;  // no memory for the class name or the window's record
}

BOOL WINAPI ShowWindow(HWND handle, int)
{
    using namespace koru::posix;
    Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;
    }
    // Every command shows the window as it is: the program passes the
    // start-up's SW_SHOWDEFAULT, and hides, minimizes or maximizes nothing.
    const bool wasVisible = window->visible;
    if (!wasVisible) {
        // A window manager that has not mapped the window in time maps it
        // later, and SDL learns of it from the MapNotify then; meanwhile the
        // paints go to the back buffer and show when it is exposed.
        if (MapWithinLimit(window->sdlWindow)) {
            SDL_ShowWindow(window->sdlWindow);
        }
        // A manager that did not say its frame before has put one round the
        // window by now; the first paint is still to come.
        FrameExtents frame;
        if (!window->frameFitted && ReadFrameExtents(window->sdlWindow, frame)) {
            FitInFrame(*window, frame);
        }
        SetVisible(*window, true);
    }
    return wasVisible;
}

BOOL WINAPI UpdateWindow(HWND handle)
{
    using namespace koru::posix;
    const Window* window = LookUpWindow(handle);
    if (window == nullptr) {
        return FALSE;
    }
    if (NeedsPaint(*window)) {
        SendToWindow(handle, WM_PAINT, 0, 0);
    }
    return TRUE;
}

BOOL WINAPI DestroyWindow(HWND handle)
{
    using namespace koru::posix;
    Window* window = LookUpWindow(handle);
    if (window == nullptr || window->destroying) {
        return FALSE;
    }
    window->destroying = true;
    SDL_HideWindow(window->sdlWindow);
    SetVisible(*window, false);
    SendToWindow(handle, WM_DESTROY, 0, 0);
    KillWindowTimers(handle);
    // Only this routine removes windows, so the record is still there.
    window = LookUpWindow(handle);
    ClosePresenter(*window);
    SDL_DestroyWindow(window->sdlWindow);
    User().windows.erase(reinterpret_cast<std::uintptr_t>(handle));
    return TRUE;
}

BOOL WINAPI GetClientRect(HWND handle, RECT* rect)
{
    const koru::posix::Window* window = koru::posix::LookUpWindow(handle);
    if (window == nullptr || rect == nullptr) {
        return FALSE;
    }
    *rect = RECT{0, 0, window->width, window->height};
    return TRUE;
}

LONG WINAPI GetWindowLongA(HWND handle, int index)
{
    const koru::posix::Window* window = koru::posix::LookUpWindow(handle);
    if (window == nullptr || index != GWL_HINSTANCE) {
        return 0;
    }
    // A LONG holds the instance only if it fits in 32 bits, as the one the
    // start-up passes does.
    static_assert(koru::posix::IMAGE_BASE <= 0x7FFFFFFF);
    return static_cast<LONG>(reinterpret_cast<std::uintptr_t>(window->instance));
}
