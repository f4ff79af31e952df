// The X window behind an SDL window, on the connection SDL opened.
#pragma once

#include <X11/Xlib.h>

struct SDL_Window;

namespace koru::posix {

struct XWindow {
    Display* display;
    ::Window window;
};

// False where the window is not an X11 one (SDL's Wayland or dummy drivers).
bool ToXWindow(SDL_Window* window, XWindow& x);

}  // namespace koru::posix
