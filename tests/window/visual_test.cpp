// The window's pictures on screens of every depth, read back from the X
// server: 16-, 24- and 30-bit colour show the picture as drawn; where SDL
// can draw on none of the screen's visuals (Xvfb's 8-bit colour), the
// program says so in one line and fails, rather than leave a blank window.
#include "window/child_process.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>
// After gtest: Xlib defines macros such as None and Bool.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

// Last: Xlib's macros (None, Status, Bool) would break the headers above.
#include "window/find_x_window.h"

namespace {

using proc::Child;
using proc::Environment;

constexpr char TITLE[] = "KORU probe";
constexpr int WIDTH = 640;
constexpr int HEIGHT = 480;

struct Rgb {
    int red, green, blue;
};

// The countdown picture as the program carries it (24-bit, bottom-up).
std::vector<Rgb> ReadPicture()
{
    std::ifstream in(KORU_PICTURE_DIR "/BG_BMP.bmp", std::ios::binary);
    const std::string bytes{std::istreambuf_iterator<char>(in), {}};
    std::vector<Rgb> pixels(WIDTH * HEIGHT);
    if (bytes.size() < 54 + WIDTH * HEIGHT * 3) {
        return {};
    }
    std::uint32_t offset;
    std::memcpy(&offset, bytes.data() + 10, 4);
    for (int y = 0; y < HEIGHT; ++y) {
        const char* row = bytes.data() + offset + static_cast<std::size_t>(HEIGHT - 1 - y) * WIDTH * 3;
        for (int x = 0; x < WIDTH; ++x) {
            const auto* bgr = reinterpret_cast<const unsigned char*>(row + x * 3);
            pixels[y * WIDTH + x] = {bgr[2], bgr[1], bgr[0]};
        }
    }
    return pixels;
}

int Channel(unsigned long pixel, unsigned long mask)
{
    if (mask == 0) {
        return 0;
    }
    int shift = 0;
    while (((mask >> shift) & 1) == 0) {
        ++shift;
    }
    const unsigned long top = mask >> shift;
    return static_cast<int>(((pixel & mask) >> shift) * 255 / top);
}

// Mean and largest difference, over every channel of a grid of points,
// between the window as the server shows it and the picture.
struct Difference {
    double mean = 1e9;
    int largest = 1 << 30;
};

Difference CompareWindow(const std::string& displayName, const std::vector<Rgb>& picture)
{
    Difference difference;
    Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) {
        return difference;
    }
    const ::Window window = FindXWindow(display, DefaultRootWindow(display), TITLE);
    XWindowAttributes attributes;
    XImage* image = window != 0 && XGetWindowAttributes(display, window, &attributes)
                        ? XGetImage(display, window, 0, 0, WIDTH, HEIGHT, AllPlanes, ZPixmap)
                        : nullptr;
    if (image != nullptr) {
        const Visual* visual = attributes.visual;
        long total = 0;
        int count = 0;
        difference.largest = 0;
        for (int y = 5; y < HEIGHT; y += 20) {
            for (int x = 5; x < WIDTH; x += 20) {
                const unsigned long pixel = XGetPixel(image, x, y);
                const Rgb& want = picture[y * WIDTH + x];
                for (const int got : {Channel(pixel, visual->red_mask) - want.red,
                                      Channel(pixel, visual->green_mask) - want.green,
                                      Channel(pixel, visual->blue_mask) - want.blue}) {
                    total += std::abs(got);
                    difference.largest = std::max(difference.largest, std::abs(got));
                    ++count;
                }
            }
        }
        difference.mean = static_cast<double>(total) / count;
        XDestroyImage(image);
    }
    XCloseDisplay(display);
    return difference;
}

class Visual : public ::testing::TestWithParam<int> {};

TEST_P(Visual, ThePictureShowsAsDrawn)
{
    const std::vector<Rgb> picture = ReadPicture();
    ASSERT_FALSE(picture.empty());
    proc::XServer server(GetParam());
    if (!server.Running()) {
        GTEST_SKIP() << "no Xvfb";
    }
    // A home of its own: drawing must leave nothing in it (Mesa, behind the
    // renderer, would keep its shaders in the cache).
    char home[] = "/tmp/koru-visual-XXXXXX";
    ASSERT_NE(mkdtemp(home), nullptr);
    Child probe({{WINDOW_PROBE, "picture"},
                 Environment({"DISPLAY", "SDL_VIDEODRIVER", "HOME", "XDG_CACHE_HOME"},
                             {"DISPLAY=" + server.name, std::string("HOME=") + home,
                              std::string("XDG_CACHE_HOME=") + home + "/.cache"})});
    ASSERT_TRUE(probe.ReadUntil(10000, [](const Child& child) {
        return child.out.find("painted") != std::string::npos || child.exited;
    }));
    ASSERT_FALSE(probe.exited) << probe.err;
    // The picture reaches the server shortly after the paint.
    Difference difference;
    for (int attempt = 0; attempt < 40 && difference.largest > 16; ++attempt) {
        usleep(50'000);
        difference = CompareWindow(server.name, picture);
    }
    // 16-bit colour keeps 5 or 6 bits a channel.
    const int allowed = GetParam() == 16 ? 9 : 1;
    EXPECT_LE(difference.largest, allowed) << "mean difference " << difference.mean;
    EXPECT_EQ(probe.err, "");
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(home)) {
        left.push_back(entry.path().string());
    }
    EXPECT_TRUE(left.empty()) << left.size() << " entries, the first " << left.front();
    std::filesystem::remove_all(home);
}

INSTANTIATE_TEST_SUITE_P(Depths, Visual, ::testing::Values(16, 24, 30),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return std::to_string(info.param) + "Bit";
                         });

TEST(Visual8Bit, NothingCanDrawSoOneLineAndFailure)
{
    proc::XServer server(8);
    if (!server.Running()) {
        GTEST_SKIP() << "no Xvfb";
    }
    Child probe({{WINDOW_PROBE, "picture"},
                 Environment({"DISPLAY", "SDL_VIDEODRIVER"}, {"DISPLAY=" + server.name})});
    ASSERT_TRUE(probe.Wait(10000)) << "still running on a screen it cannot draw on";
    ASSERT_TRUE(WIFEXITED(probe.status));
    EXPECT_NE(WEXITSTATUS(probe.status), 0);
    EXPECT_EQ(probe.out, "") << "it must not paint";
    EXPECT_EQ(probe.err.rfind("koru-bench: cannot open a window: nothing can draw in this "
                              "display's colours (",
                              0),
              0u)
        << probe.err;
    EXPECT_NE(probe.err.find("); use a display of 16-, 24- or 30-bit colour\n"), std::string::npos)
        << probe.err;
    EXPECT_EQ(std::count(probe.err.begin(), probe.err.end(), '\n'), 1) << probe.err;
}

}  // namespace
