// Frame extents and mapping through Xlib, on the connection SDL opened.
//
// - CreateWindowExA's size is the outer one. A window manager that follows
//   EWMH says, when asked with _NET_REQUEST_FRAME_EXTENTS before the window
//   is mapped, how wide the frame will be (_NET_FRAME_EXTENTS), so that the
//   client area has its final size before the first paint.
// - SDL_ShowWindow maps the window and then blocks in XIfEvent until the
//   window manager has mapped it: a manager that is busy, starting or hung
//   would hold the program there for ever. Mapping here waits a bounded time.
// - A request is made again while no answer comes. openbox, while it is
//   starting, has been seen to drop a map request for good (2 starts in
//   some 800, on a busy machine); the next request was answered at once.
//
// Events taken from Xlib's queue here are only the ones waited for; every
// other event stays for SDL.
#include "window_manager.h"

#include "x_window.h"

#include <SDL.h>
#include <SDL_syswm.h>

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace koru::posix {

namespace {

using Clock = std::chrono::steady_clock;

// How long the window manager may take to answer. openbox on Xvfb answers
// in under 5 ms; a manager that has not answered in half a second is
// treated as absent (the window is then shown all the same).
constexpr std::chrono::milliseconds WINDOW_MANAGER_LIMIT{500};
constexpr std::chrono::milliseconds ASK_AGAIN_PERIOD{100};

// Up to `count` 32-bit items of a property; how many there were.
unsigned long ReadLongs(Display* display, ::Window window, Atom property, Atom type, long* items,
                        unsigned long count)
{
    Atom actualType = None;
    int format = 0;
    unsigned long found = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // A window that no longer exists gives BadWindow, which the layer's
    // error handler lets pass (video.cpp): nothing is read.
    if (XGetWindowProperty(display, window, property, 0, static_cast<long>(count), False, type,
                           &actualType, &format, &found, &after, &data) != Success) {
        return 0;
    }
    if (actualType != type || format != 32 || data == nullptr) {
        found = 0;
    }
    found = std::min(found, count);
    // Format-32 items come as longs, whatever the width of a long.
    std::copy_n(reinterpret_cast<const long*>(data), found, items);
    if (data != nullptr) {
        XFree(data);
    }
    return found;
}

// A window manager that follows EWMH names a window of its own on the root
// window, and that window names itself; a name left behind by a manager
// that has gone names a window that no longer does.
bool AnswersFrameRequests(Display* display)
{
    const ::Window root = DefaultRootWindow(display);
    const Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False);
    long manager = 0;
    long itself = 0;
    if (ReadLongs(display, root, check, XA_WINDOW, &manager, 1) != 1 ||
        ReadLongs(display, static_cast<::Window>(manager), check, XA_WINDOW, &itself, 1) != 1 ||
        itself != manager) {
        return false;
    }
    const Atom request = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
    long supported[512];
    const Atom supportedAtom = XInternAtom(display, "_NET_SUPPORTED", False);
    const unsigned long count =
        ReadLongs(display, root, supportedAtom, XA_ATOM, supported, std::size(supported));
    return std::find(supported, supported + count, static_cast<long>(request)) != supported + count;
}

struct Awaited {
    ::Window window;
    int type;
    Atom property;  // PropertyNotify only
};

Bool IsAwaited(Display*, XEvent* event, XPointer argument)
{
    const auto* awaited = reinterpret_cast<const Awaited*>(argument);
    if (event->type != awaited->type || event->xany.window != awaited->window) {
        return False;
    }
    return event->type != PropertyNotify || event->xproperty.atom == awaited->property;
}

// Makes the request with `ask` and takes the awaited event, the answer,
// from the queue, reading the connection as the server sends more. Asks
// again every ASK_AGAIN_PERIOD; false once the limit has passed without an
// answer.
template <class Ask>
bool AskAndWait(Display* display, const Awaited& awaited, Ask ask)
{
    const Clock::time_point deadline = Clock::now() + WINDOW_MANAGER_LIMIT;
    Clock::time_point askAgain = Clock::now();
    XEvent event;
    for (;;) {
        if (Clock::now() >= askAgain) {
            ask();
            askAgain = Clock::now() + ASK_AGAIN_PERIOD;
        }
        // Reads whatever the server has sent so far, then looks.
        if (XCheckIfEvent(display, &event, IsAwaited,
                          reinterpret_cast<XPointer>(const_cast<Awaited*>(&awaited)))) {
            return true;
        }
        const Clock::time_point now = Clock::now();
        if (now >= deadline) {
            return false;
        }
        const auto wait =
            std::chrono::ceil<std::chrono::milliseconds>(std::min(deadline, askAgain) - now);
        pollfd connection{ConnectionNumber(display), POLLIN, 0};
        if (poll(&connection, 1, static_cast<int>(wait.count())) < 0 && errno != EINTR) {
            return false;
        }
    }
}

}  // namespace

bool ToXWindow(SDL_Window* window, XWindow& x)
{
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (window == nullptr || !SDL_GetWindowWMInfo(window, &info) ||
        info.subsystem != SDL_SYSWM_X11) {
        return false;
    }
    x = {info.info.x11.display, info.info.x11.window};
    return true;
}

bool AskFrameExtents(SDL_Window* window, FrameExtents& frame)
{
    XWindow x;
    if (!ToXWindow(window, x) || !AnswersFrameRequests(x.display)) {
        return false;
    }
    const Atom extents = XInternAtom(x.display, "_NET_FRAME_EXTENTS", False);
    XEvent request{};
    request.xclient.type = ClientMessage;
    request.xclient.window = x.window;
    request.xclient.message_type = XInternAtom(x.display, "_NET_REQUEST_FRAME_EXTENTS", False);
    request.xclient.format = 32;
    // SDL asked for property changes on its window when it made it.
    AskAndWait(x.display, Awaited{x.window, PropertyNotify, extents}, [&] {
        XSendEvent(x.display, DefaultRootWindow(x.display), False,
                   SubstructureRedirectMask | SubstructureNotifyMask, &request);
    });
    return ReadFrameExtents(window, frame);
}

bool ReadFrameExtents(SDL_Window* window, FrameExtents& frame)
{
    XWindow x;
    long items[4];
    if (!ToXWindow(window, x) ||
        ReadLongs(x.display, x.window, XInternAtom(x.display, "_NET_FRAME_EXTENTS", False),
                  XA_CARDINAL, items, 4) != 4) {
        return false;
    }
    // EWMH's order: left, right, top, bottom. A frame wider than a screen
    // is nonsense, and read as none.
    for (long item : items) {
        if (item < 0 || item > 4096) {
            return false;
        }
    }
    frame = {static_cast<int>(items[0]), static_cast<int>(items[1]), static_cast<int>(items[2]),
             static_cast<int>(items[3])};
    return true;
}

void ResizeClientArea(SDL_Window* window, int width, int height)
{
    XWindow x;
    if (ToXWindow(window, x)) {
        XResizeWindow(x.display, x.window, static_cast<unsigned>(width),
                      static_cast<unsigned>(height));
        XFlush(x.display);
    }
}

void SetUndrawnColour(SDL_Window* window, unsigned long xrgb)
{
    XWindow x;
    XWindowAttributes attributes;
    if (!ToXWindow(window, x) || !XGetWindowAttributes(x.display, x.window, &attributes)) {
        return;
    }
    // The pixel value of a colour depends on the visual (16, 24, 30 bits).
    XColor colour{};
    colour.red = static_cast<unsigned short>((xrgb >> 16 & 0xFF) * 0x101);
    colour.green = static_cast<unsigned short>((xrgb >> 8 & 0xFF) * 0x101);
    colour.blue = static_cast<unsigned short>((xrgb & 0xFF) * 0x101);
    colour.flags = DoRed | DoGreen | DoBlue;
    if (XAllocColor(x.display, attributes.colormap, &colour)) {
        XSetWindowBackground(x.display, x.window, colour.pixel);
        XFlush(x.display);
    }
}

bool MapWithinLimit(SDL_Window* window)
{
    XWindow x;
    if (!ToXWindow(window, x)) {
        return true;
    }
    return AskAndWait(x.display, Awaited{x.window, MapNotify, None}, [&] {
        XMapRaised(x.display, x.window);
        // Without a window manager the server maps it at once: after this
        // round trip its MapNotify is already in the queue, and nothing waits.
        XSync(x.display, False);
    });
}

}  // namespace koru::posix
