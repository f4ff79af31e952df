// The X window manager, asked directly where SDL does not ask it or waits
// for it without end. Elsewhere (no X11 window manager, SDL's dummy or
// Wayland drivers) everything here answers at once.
#pragma once

struct SDL_Window;

namespace koru::posix {

struct FrameExtents {
    int left;
    int right;
    int top;
    int bottom;
};

// The frame the window manager will put round `window`, which has never
// been mapped. False at once where no window manager that answers such a
// request runs, and after at most a short wait where one does not answer.
bool AskFrameExtents(SDL_Window* window, FrameExtents& frame);

// The frame the window manager has put round `window` since; false if it
// has said nothing of one.
bool ReadFrameExtents(SDL_Window* window, FrameExtents& frame);

// Sets the client size of an X window at once: a window manager applies it
// before it maps the window. (SDL_SetWindowSize would wait up to 100 ms to
// see it done.) SDL learns the size from the server's answer.
void ResizeClientArea(SDL_Window* window, int width, int height);

// What the X server shows in `window` where the program has not yet drawn:
// the colour of its class brush (0x00RRGGBB), as Windows erases a window it
// shows, rather than black or whatever the screen held.
void SetUndrawnColour(SDL_Window* window, unsigned long xrgb);

// Asks for `window` to be mapped and waits, at most a short while, until
// the window manager has done so. True if SDL_ShowWindow may now be called:
// it waits for the map itself, without any limit.
bool MapWithinLimit(SDL_Window* window);

}  // namespace koru::posix
