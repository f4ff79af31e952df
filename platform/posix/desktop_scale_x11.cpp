// The desktop's scale as this display and environment publish it, read
// when the window opens (see desktop_scale.cpp for how it is chosen).
#include "desktop_scale.h"

#include "stderr_line.h"
#include "x_window.h"

#include <SDL.h>
#include <X11/Xatom.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace koru::posix {

namespace {

std::atomic<bool> saidBadScale{false};

// The XSETTINGS of the window's screen, from their manager's window.
void ReadScreenSettings(const XWindow& x, long& scale, long& dpi)
{
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(x.display, x.window, &attributes)) {
        return;
    }
    char name[32];
    std::snprintf(name, sizeof name, "_XSETTINGS_S%d", XScreenNumberOfScreen(attributes.screen));
    const ::Window manager = XGetSelectionOwner(x.display, XInternAtom(x.display, name, False));
    if (manager == None) {
        return;
    }
    const Atom settings = XInternAtom(x.display, "_XSETTINGS_SETTINGS", False);
    Atom type = None;
    int format = 0;
    unsigned long count = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    // A manager that has just gone gives BadWindow, which the layer's error
    // handler lets pass (video.cpp): nothing is read.
    if (XGetWindowProperty(x.display, manager, settings, 0, LONG_MAX / 4, False, settings, &type,
                           &format, &count, &after, &data) == Success &&
        type == settings && format == 8) {
        ReadXSettings(data, count, scale, dpi);
    }
    if (data != nullptr) {
        XFree(data);
    }
}

}  // namespace

int DesktopScale(SDL_Window* window, int outerWidth, int outerHeight)
{
    ScaleSources sources{std::getenv("KORU_BENCH_SCALE"), std::getenv("GDK_SCALE"), 0, 0, nullptr};
    std::string xftDpi;
    if (XWindow x; ToXWindow(window, x)) {
        ReadScreenSettings(x, sources.xsettingsScale, sources.xsettingsDpi);
        // Xlib read the resources when SDL opened the display.
        xftDpi = FindXftDpi(XResourceManagerString(x.display));
        sources.xftDpi = xftDpi.c_str();
    }
    std::string complaint;
    const int scale = ChooseScale(sources, complaint);
    if (!complaint.empty()) {
        SayOnce(saidBadScale, "%s; using the scale the desktop publishes, %d", complaint.c_str(),
                scale);
    }
    SDL_Rect work{};
    if (SDL_GetDisplayUsableBounds(std::max(0, SDL_GetWindowDisplayIndex(window)), &work) != 0) {
        return 1;
    }
    return FitScale(scale, work.w, work.h, outerWidth, outerHeight);
}

}  // namespace koru::posix
