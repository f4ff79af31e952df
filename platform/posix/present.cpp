// Showing a window's back buffer on the screen, in whatever pixel format the
// display has. The way is chosen when the window is made:
//
// - SDL's window surface: X11's shared-memory image, 0.2 ms a present. SDL
//   makes it only for pixel formats it knows: not for 30-bit colour, nor
//   for the 8-bit visuals Xvfb offers.
// - Else an SDL renderer with a streaming texture: the GPU (or Mesa's
//   software GL) converts the pixels, which covers 30-bit colour. SDL's own
//   GPU-backed window surface would do the same, but the hint that allows
//   it is read once, before the first window, and is off for speed.
// - Else nothing can show the window: CreateWindowExA fails, after one
//   line on stderr, rather than leave a blank window up for the whole run.
#include "present.h"

#include "gdi_surface.h"
#include "stderr_line.h"
#include "window_manager.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace koru::posix {

namespace {

bool IsEmpty(const RECT& rect)
{
    return rect.left >= rect.right || rect.top >= rect.bottom;
}

std::atomic<bool> saidPresentFailed{false};

// Where `area` of the back buffer shows: the window's scale times larger,
// the whole back buffer centred in the screen's client area (which, at a
// scale above 1, can be up to a frame pixel larger each way).
SDL_Rect OnScreen(const Window& window, const RECT& area)
{
    const int scale = window.scale;
    const int left = (window.screenWidth - window.width * scale) / 2;
    const int top = (window.screenHeight - window.height * scale) / 2;
    return SDL_Rect{left + area.left * scale, top + area.top * scale, (area.right - area.left) * scale,
                    (area.bottom - area.top) * scale};
}

// The class brush round the centred back buffer, where there is a margin.
bool FillMargins(const Window& window, SDL_Surface* target, std::uint32_t paper)
{
    const SDL_Rect shown = OnScreen(window, RECT{0, 0, window.width, window.height});
    const SDL_Rect margins[] = {
        {0, 0, window.screenWidth, shown.y},
        {0, shown.y + shown.h, window.screenWidth, window.screenHeight - shown.y - shown.h},
        {0, shown.y, shown.x, shown.h},
        {shown.x + shown.w, shown.y, window.screenWidth - shown.x - shown.w, shown.h},
    };
    const Uint32 colour = SDL_MapRGB(target->format, paper >> 16 & 0xFF, paper >> 8 & 0xFF, paper & 0xFF);
    for (const SDL_Rect& margin : margins) {
        if (margin.w > 0 && margin.h > 0 && SDL_FillRect(target, &margin, colour) != 0) {
            return false;
        }
    }
    return true;
}

// A texture the size of the back buffer, made again when that changes.
bool FitTexture(Window& window)
{
    if (window.texture != nullptr && window.textureWidth == window.width &&
        window.textureHeight == window.height) {
        return true;
    }
    if (window.texture != nullptr) {
        SDL_DestroyTexture(window.texture);
    }
    window.texture = SDL_CreateTexture(window.renderer, SDL_PIXELFORMAT_RGB888,
                                       SDL_TEXTUREACCESS_STREAMING, window.width, window.height);
    window.textureWidth = window.width;
    window.textureHeight = window.height;
    // Scaled up, each pixel a sharp square: no blur on the text's edges.
    return window.texture != nullptr && SDL_SetTextureScaleMode(window.texture, SDL_ScaleModeNearest) == 0;
}

bool PresentThroughRenderer(Window& window, const RECT& area)
{
    const bool fresh = window.texture == nullptr || window.textureWidth != window.width ||
                       window.textureHeight != window.height;
    if (!FitTexture(window)) {
        return false;
    }
    // A new texture holds nothing yet; the renderer keeps nothing between
    // presents, so the whole texture is drawn every time.
    const RECT changed = fresh ? RECT{0, 0, window.width, window.height} : area;
    const SDL_Rect from{changed.left, changed.top, changed.right - changed.left,
                        changed.bottom - changed.top};
    const std::uint32_t* first =
        window.pixels.get() + static_cast<std::ptrdiff_t>(changed.top) * window.width + changed.left;
    const SDL_Rect whole{0, 0, window.width, window.height};
    const SDL_Rect shown = OnScreen(window, RECT{0, 0, window.width, window.height});
    std::uint32_t paper = 0xFFFFFF;
    BrushColour(window.background, paper);
    if (SDL_UpdateTexture(window.texture, &from, first, window.width * 4) != 0 ||
        SDL_SetRenderDrawColor(window.renderer, paper >> 16 & 0xFF, paper >> 8 & 0xFF, paper & 0xFF,
                               0xFF) != 0 ||
        SDL_RenderClear(window.renderer) != 0 ||
        SDL_RenderCopy(window.renderer, window.texture, &whole, &shown) != 0) {
        return false;
    }
    SDL_RenderPresent(window.renderer);
    return true;
}

bool PresentThroughSurface(Window& window, const RECT& area)
{
    // Fetched every time: SDL replaces it after a size change.
    SDL_Surface* target = SDL_GetWindowSurface(window.sdlWindow);
    if (target == nullptr) {
        return false;
    }
    SDL_Surface* source = SDL_CreateRGBSurfaceWithFormatFrom(
        window.pixels.get(), window.width, window.height, 32, window.width * 4,
        SDL_PIXELFORMAT_RGB888);
    if (source == nullptr) {
        return false;
    }
    SDL_Rect from{area.left, area.top, area.right - area.left, area.bottom - area.top};
    SDL_Rect changed = OnScreen(window, area);
    SDL_Rect to = changed;  // the blits clip it
    bool shown = false;
    if (window.scale == 1) {
        shown = SDL_BlitSurface(source, &from, target, &to) == 0;
    } else {
        // Nearest neighbour: a whole-number factor repeats each pixel. The
        // margins round the centred picture come with a whole present.
        std::uint32_t paper = 0xFFFFFF;
        BrushColour(window.background, paper);
        const bool whole = area.left == 0 && area.top == 0 && area.right == window.width &&
                           area.bottom == window.height;
        shown = SDL_BlitScaled(source, &from, target, &to) == 0 && (!whole || FillMargins(window, target, paper));
        if (whole) {
            changed = SDL_Rect{0, 0, window.screenWidth, window.screenHeight};
        }
    }
    shown = shown && SDL_UpdateWindowSurfaceRects(window.sdlWindow, &changed, 1) == 0;
    SDL_FreeSurface(source);
    return shown;
}

}  // namespace

bool OpenPresenter(Window& window)
{
    std::uint32_t paper = 0xFFFFFF;
    BrushColour(window.background, paper);
    SetUndrawnColour(window.sdlWindow, paper);
    if (SDL_GetWindowSurface(window.sdlWindow) != nullptr) {
        return true;
    }
    char surfaceError[128];
    std::snprintf(surfaceError, sizeof surfaceError, "%s", SDL_GetError());
    // The program writes nothing but its scratch file; Mesa would keep the
    // renderer's compiled shaders in the user's cache directory. A choice
    // the user made in the environment stands.
    setenv("MESA_SHADER_CACHE_DISABLE", "true", 0);
    window.renderer = SDL_CreateRenderer(window.sdlWindow, -1, 0);
    // One frame drawn now, while the window is hidden: Mesa's software GL
    // takes 60 ms (130 ms under AddressSanitizer) over its first, and made
    // later, that would hold up the first paint until the refresh timer was
    // due, so that the first-paint screen hardly showed.
    if (window.renderer != nullptr && FitTexture(window) &&
        PresentThroughRenderer(window, RECT{0, 0, window.width, window.height})) {
        return true;
    }
    std::fprintf(stderr,
                 "koru-bench: cannot open a window: nothing can draw in this display's colours "
                 "(%s; %s); use a display of 16-, 24- or 30-bit colour\n",
                 surfaceError, SDL_GetError());
    ClosePresenter(window);
    return false;
}

void ClosePresenter(Window& window)
{
    if (window.texture != nullptr) {
        SDL_DestroyTexture(window.texture);
        window.texture = nullptr;
    }
    if (window.renderer != nullptr) {
        SDL_DestroyRenderer(window.renderer);
        window.renderer = nullptr;
    }
}

bool Present(Window& window, const RECT& area)
{
    const RECT visible{std::max(area.left, LONG{0}), std::max(area.top, LONG{0}),
                       std::min(area.right, LONG{window.width}),
                       std::min(area.bottom, LONG{window.height})};
    if (!window.visible || IsEmpty(visible)) {
        return true;
    }
    const bool shown = window.renderer != nullptr ? PresentThroughRenderer(window, visible)
                                                  : PresentThroughSurface(window, visible);
    if (!shown) {
        // Said once; every later paint tries again.
        SayOnce(saidPresentFailed, "cannot show the window's picture: %s", SDL_GetError());
    }
    return shown;
}

}  // namespace koru::posix
