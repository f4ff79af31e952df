// SDL video, opened once by the first CreateWindowExA, and the end of the
// process when the display goes away under it.
#include "video.h"

#include <SDL.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace koru::posix {
namespace {

bool videoTried = false;
bool videoUp = false;
bool videoCanWait = false;

// Xlib calls this when the X server connection breaks, and exits if it
// returns. Its own handler calls exit(), which runs static destructors
// while the benchmark worker still runs; leave at once instead.
int OnDisplayLost(Display*)
{
    static const char LINE[] = "koru-bench: the connection to the display was lost\n";
    const ssize_t written = write(STDERR_FILENO, LINE, sizeof LINE - 1);
    static_cast<void>(written);
    _exit(1);
}

// A failed X request (say, one naming a window another client has just
// destroyed) is not worth the process: Xlib's default handler would print
// it and exit(1) in the middle of a run. Carry on without it.
int OnProtocolError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

bool OpenVideo()
{
    if (videoTried) {
        return videoUp;
    }
    videoTried = true;
    // A Windows program gets no Ctrl-C handling and leaves the screen saver
    // alone; closing the window is its only way out.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    SDL_SetHint(SDL_HINT_VIDEO_ALLOW_SCREENSAVER, "1");
    SDL_SetHint(SDL_HINT_QUIT_ON_LAST_WINDOW_CLOSE, "0");
    SDL_SetHint(SDL_HINT_VIDEO_X11_NET_WM_BYPASS_COMPOSITOR, "0");
    // The window surface through a GPU renderer cost 0.5 s at the first
    // present and 3 to 10 ms a present (Mesa's software GL under Xvfb);
    // X11's shared-memory image takes 0.2 ms.
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    // Left to itself SDL falls back to its offscreen driver and runs with no
    // window to see; only a real display will do, unless SDL_VIDEODRIVER
    // (which overrides this hint) asks for another. Wayland is tried only
    // where it runs: libwayland complains on stderr otherwise.
    const char* x11Name = std::getenv("DISPLAY");
    const char* waylandName = std::getenv("WAYLAND_DISPLAY");
    const bool x11Display = x11Name != nullptr && x11Name[0] != '\0';
    const bool waylandDisplay = waylandName != nullptr && waylandName[0] != '\0';
    SDL_SetHint(SDL_HINT_VIDEODRIVER, x11Display && waylandDisplay ? "x11,wayland"
                                      : waylandDisplay             ? "wayland"
                                                                   : "x11");
    if (std::getenv("SDL_VIDEODRIVER") == nullptr && !x11Display && !waylandDisplay) {
        std::fprintf(stderr, "koru-bench: cannot open a window: no display (DISPLAY is not set)\n");
        return false;
    }
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
        // SDL says only that its driver is "not available": name the
        // display that could not be reached, which is what the user can fix.
        if (std::getenv("SDL_VIDEODRIVER") != nullptr) {
            std::fprintf(stderr, "koru-bench: cannot open a window: %s\n", SDL_GetError());
        } else if (x11Display && waylandDisplay) {
            std::fprintf(stderr, "koru-bench: cannot open a window: cannot open display %s nor "
                                 "Wayland display %s\n", x11Name, waylandName);
        } else if (x11Display) {
            std::fprintf(stderr, "koru-bench: cannot open a window: cannot open display %s\n",
                         x11Name);
        } else {
            std::fprintf(stderr, "koru-bench: cannot open a window: cannot open Wayland display %s\n",
                         waylandName);
        }
        return false;
    }
    const char* driver = SDL_GetCurrentVideoDriver();
    const bool x11 = driver != nullptr && std::strcmp(driver, "x11") == 0;
    const bool wayland = driver != nullptr && std::strcmp(driver, "wayland") == 0;
    if (x11) {
        XSetIOErrorHandler(OnDisplayLost);
        XSetErrorHandler(OnProtocolError);
    }
    // Other drivers (dummy, offscreen) would make SDL_WaitEventTimeout poll
    // every millisecond; the loop sleeps on its own clock there instead.
    videoCanWait = x11 || wayland;
    videoUp = true;
    return true;
}

bool VideoUp()
{
    return videoUp;
}

bool VideoCanWait()
{
    return videoUp && videoCanWait;
}

}  // namespace koru::posix
