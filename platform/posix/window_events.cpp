// SDL events into window messages. Close requests, keys and mouse input are
// queued as input; size changes and exposure are acted on at once.
#include "window_events.h"

#include "paint.h"
#include "present.h"

#include <SDL.h>

namespace {

using koru::posix::Window;

// Virtual-key codes of the keys a window might see; others are dropped.
WPARAM VirtualKey(SDL_Keycode key)
{
    if (key >= SDLK_a && key <= SDLK_z) {
        return 'A' + static_cast<WPARAM>(key - SDLK_a);
    }
    if (key >= SDLK_0 && key <= SDLK_9) {
        return '0' + static_cast<WPARAM>(key - SDLK_0);
    }
    if (key >= SDLK_F1 && key <= SDLK_F12) {
        return 0x70 + static_cast<WPARAM>(key - SDLK_F1);
    }
    switch (key) {
    case SDLK_BACKSPACE: return 0x08;
    case SDLK_TAB: return 0x09;
    case SDLK_RETURN: return 0x0D;
    case SDLK_LSHIFT:
    case SDLK_RSHIFT: return 0x10;
    case SDLK_LCTRL:
    case SDLK_RCTRL: return 0x11;
    case SDLK_LALT:
    case SDLK_RALT: return 0x12;
    case SDLK_ESCAPE: return 0x1B;
    case SDLK_SPACE: return 0x20;
    case SDLK_LEFT: return 0x25;
    case SDLK_UP: return 0x26;
    case SDLK_RIGHT: return 0x27;
    case SDLK_DOWN: return 0x28;
    default: return 0;
    }
}

// Two 16-bit values in one LPARAM, low word first (Win32's MAKELPARAM).
LPARAM MakeLParam(int low, int high)
{
    return static_cast<LPARAM>(static_cast<std::uint32_t>(static_cast<WORD>(low)) |
                               static_cast<std::uint32_t>(static_cast<WORD>(high)) << 16);
}

void QueueInput(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto& input = koru::posix::User().input;
    // Windows keeps only the latest of consecutive mouse moves.
    if (message == WM_MOUSEMOVE && !input.empty() && input.back().message == WM_MOUSEMOVE &&
        input.back().hwnd == window) {
        input.pop_back();
    }
    input.push_back(koru::posix::MakeMessage(window, message, wParam, lParam));
}

void HandleWindowEvent(const SDL_WindowEvent& event)
{
    Window* window = koru::posix::LookUpSdlWindow(event.windowID);
    if (window == nullptr) {
        return;
    }
    switch (event.event) {
    case SDL_WINDOWEVENT_CLOSE:
        QueueInput(window->handle, WM_CLOSE, 0, 0);
        break;
    case SDL_WINDOWEVENT_SIZE_CHANGED:
        if (event.data1 == window->width && event.data2 == window->height) {
            break;  // SDL says so also when only its own idea of the size changed
        }
        koru::posix::SetClientSize(*window, event.data1, event.data2);
        koru::posix::SendToWindow(window->handle, WM_SIZE, 0,
                                  MakeLParam(event.data1, event.data2));
        break;
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

void HandleKey(const SDL_KeyboardEvent& event)
{
    const Window* window = koru::posix::LookUpSdlWindow(event.windowID);
    const WPARAM key = VirtualKey(event.keysym.sym);
    if (window == nullptr || key == 0) {
        return;
    }
    // Repeat count 1, scan code, and for a release the previous-state and
    // transition bits.
    LPARAM flags = 1 | (static_cast<LPARAM>(event.keysym.scancode & 0xFF) << 16);
    if (event.type == SDL_KEYUP) {
        flags |= LPARAM{3} << 30;
    } else if (event.repeat) {
        flags |= LPARAM{1} << 30;
    }
    QueueInput(window->handle, event.type == SDL_KEYDOWN ? WM_KEYDOWN : WM_KEYUP, key, flags);
}

}  // namespace

namespace koru::posix {

void HandleSdlEvent(const SDL_Event& event) noexcept
try {
    switch (event.type) {
    case SDL_QUIT:
        // Asked to end from outside: every window is asked to close.
        for (const auto& [handle, window] : User().windows) {
            QueueInput(window->handle, WM_CLOSE, 0, 0);
        }
        break;
    case SDL_WINDOWEVENT:
        HandleWindowEvent(event.window);
        break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
        HandleKey(event.key);
        break;
    case SDL_MOUSEMOTION:
        if (const Window* window = LookUpSdlWindow(event.motion.windowID)) {
            QueueInput(window->handle, WM_MOUSEMOVE, 0,
                       MakeLParam(event.motion.x, event.motion.y));
        }
        break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
        if (const Window* window = LookUpSdlWindow(event.button.windowID);
            window != nullptr && event.button.button == SDL_BUTTON_LEFT) {
            QueueInput(window->handle,
                       event.type == SDL_MOUSEBUTTONDOWN ? WM_LBUTTONDOWN : WM_LBUTTONUP, 0,
                       MakeLParam(event.button.x, event.button.y));
        }
        break;
    default:
        break;
    }
} catch (...) {
    // No memory to queue it: the event is dropped (a close request can be
    // made again) and the loop goes on.
}

}  // namespace koru::posix
