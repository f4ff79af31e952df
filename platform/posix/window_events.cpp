// SDL's events into window messages. A close request is queued as input;
// size changes and exposure are acted on at once. Keys and the mouse are
// not passed on: the program reads neither.
#include "window_events.h"

#include "paint.h"
#include "present.h"

#include <SDL.h>

namespace {

using koru::posix::Window;

// Two 16-bit values in one LPARAM, low word first (Win32's MAKELPARAM).
LPARAM MakeLParam(int low, int high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(static_cast<WORD>(low)) |
                               static_cast<std::uint32_t>(static_cast<WORD>(high)) << 16);
}

void QueueClose(HWND window)
{
    koru::posix::User().input.push_back(koru::posix::MakeMessage(window, WM_CLOSE, 0, 0));
}

void HandleWindowEvent(const SDL_WindowEvent& event)
{
    Window* window = koru::posix::LookUpSdlWindow(event.windowID);
    if (window == nullptr) {
        return;
    }
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        QueueClose(window->handle);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED: {
        const int width = window->width;
        const int height = window->height;
        koru::posix::SetScreenSize(*window, event.data1, event.data2);
        if (window->width != width || window->height != height) {
            koru::posix::SendToWindow(window->handle, WM_SIZE, 0, MakeLParam(window->width, window->height));
        } else {
            // The same client area: centred anew in a screen area up to a
            // frame pixel larger or smaller, or only SDL's own idea of the
            // size changed (its renderer may have drawn at the old one).
            koru::posix::Present(*window, RECT{0, 0, window->width, window->height});
        }
        break;
    }
    case SDL_WINDOWEVENT_EXPOSED:
        // The back buffer still holds the last picture, so uncovering only
        // shows it again, as a composited Windows desktop does. Repainting
        // here would wipe the first paint: X sends this once the window maps,
        // after UpdateWindow has already painted.
        koru::posix::Present(*window, RECT{0, 0, window->width, window->height});
        break;
    default:
        break;
    }
}

}  // namespace

namespace koru::posix {

void HandleSdlEvent(const SDL_Event& event) noexcept
try {
    switch (event.type) {
    case SDL_QUIT:
        // Asked to end from outside: every window is asked to close.
        for (const auto& [handle, window] : User().windows) {
            QueueClose(window->handle);
        }
        break;
    case SDL_WINDOWEVENT:
        HandleWindowEvent(event.window);
        break;
    default:
        break;
    }
} catch (...) {
    // No memory to queue it: the event is dropped (a close request can be
    // made again) and the loop goes on.
}

}  // namespace koru::posix
