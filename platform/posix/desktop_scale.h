// The desktop's scale on Linux, as the desktop publishes it: each frame
// pixel is shown as a square of that many screen pixels a side. Windows does
// this for the program itself (its compositor stretches a program that
// declares no DPI awareness); on X11, and under XWayland where the desktop
// leaves it to the program, nobody does.
#pragma once

#include <cstddef>
#include <string>

struct SDL_Window;

namespace koru::posix {

constexpr int MOST_SCALE = 4;

// Where the scale may be published, most specific first. Null, or 0, where
// a source says nothing.
struct ScaleSources {
    const char* override;      // KORU_BENCH_SCALE, for users and tests
    const char* gdkScale;      // GDK_SCALE
    long xsettingsScale;       // XSETTINGS Gdk/WindowScalingFactor
    long xsettingsDpi;         // XSETTINGS Xft/DPI, in 1024ths of a dot per inch
    const char* xftDpi;        // the Xft.dpi resource (what xrdb sets)
};

// The factor the first source that says one gives: 1 to MOST_SCALE; 1 where
// none does. A value that is not a number or is out of range counts as
// absent, and is described in `complaint` (the last such one).
int ChooseScale(const ScaleSources& sources, std::string& complaint);

// The largest factor up to `scale` at which an outer size fits the work area.
int FitScale(int scale, int workWidth, int workHeight, int outerWidth, int outerHeight);

// The value of the Xft.dpi resource in a resource manager string (the rest
// of its line), or an empty string.
std::string FindXftDpi(const char* resources);

// Gdk/WindowScalingFactor and Xft/DPI from an _XSETTINGS_SETTINGS
// property; each left as it is where absent. False if the data is not
// XSETTINGS.
bool ReadXSettings(const unsigned char* data, std::size_t size, long& scale, long& dpi);

// For the window about to be shown with this outer size (frame pixels):
// the factor, fitted to its screen's work area. Fixed when the window opens;
// a bad published value is said once on stderr.
int DesktopScale(SDL_Window* window, int outerWidth, int outerHeight);

}  // namespace koru::posix
