// The window under window managers of the test's own, on a private X
// server: one that says the frame before the window is mapped (as EWMH asks
// and openbox does), one that says it only when it maps the window, one
// that drops the first request to map it (as openbox has been seen to do
// while starting), and one that never answers at all. The window is shown
// with its outer size 640 x 480, frame included, and a manager that never
// maps it does not hold the program up: it still paints, within the time
// it allows a manager.
#include "window/child_process.h"

#include <gtest/gtest.h>

#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <thread>
#include <utility>
#include <vector>
// After gtest: Xlib defines macros such as None and Bool.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

// Last: Xlib's macros (None, Status, Bool) would break the headers above.
#include "window/find_x_window.h"

namespace {

using proc::Child;
using proc::Environment;

constexpr char TITLE[] = "KORU probe";
constexpr long FRAME[4] = {3, 5, 27, 4};  // left, right, top, bottom, as EWMH orders them

enum class Manner {
    SAYS_FRAME_BEFORE_MAPPING,
    SAYS_FRAME_ON_MAPPING,
    DROPS_FIRST_MAP_REQUEST,  // otherwise as SAYS_FRAME_BEFORE_MAPPING
    NEVER_ANSWERS,  // claims to answer frame requests, then neither answers nor maps
};

const char* Name(Manner manner)
{
    switch (manner) {
    case Manner::SAYS_FRAME_BEFORE_MAPPING: return "FrameBeforeMapping";
    case Manner::SAYS_FRAME_ON_MAPPING: return "FrameOnMapping";
    case Manner::DROPS_FIRST_MAP_REQUEST: return "DropsFirstMapRequest";
    case Manner::NEVER_ANSWERS: return "NeverAnswers";
    }
    return "";
}

void PrintTo(Manner manner, std::ostream* out)
{
    *out << Name(manner);
}

// Serves the root window's redirected requests on a thread of its own,
// until destroyed. It makes no frame of its own: it only says one.
class FakeWindowManager {
public:
    FakeWindowManager(const std::string& displayName, Manner manner) : manner(manner)
    {
        display = XOpenDisplay(displayName.c_str());
        if (display == nullptr) {
            return;
        }
        const ::Window root = DefaultRootWindow(display);
        XSelectInput(display, root, SubstructureRedirectMask | SubstructureNotifyMask);
        const ::Window check = XCreateSimpleWindow(display, root, 0, 0, 1, 1, 0, 0, 0);
        const Atom checkAtom = Intern("_NET_SUPPORTING_WM_CHECK");
        for (const ::Window on : {root, check}) {
            XChangeProperty(display, on, checkAtom, XA_WINDOW, 32, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(&check), 1);
        }
        std::vector<Atom> supported{checkAtom, Intern("_NET_FRAME_EXTENTS")};
        if (manner != Manner::SAYS_FRAME_ON_MAPPING) {
            supported.push_back(Intern("_NET_REQUEST_FRAME_EXTENTS"));
        }
        XChangeProperty(display, root, Intern("_NET_SUPPORTED"), XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(supported.data()),
                        static_cast<int>(supported.size()));
        XSync(display, False);
        thread = std::thread([this] { Serve(); });
    }

    ~FakeWindowManager()
    {
        stop = true;
        if (thread.joinable()) {
            thread.join();
        }
        if (display != nullptr) {
            XCloseDisplay(display);
        }
    }

    bool Running() const { return display != nullptr; }

private:
    Atom Intern(const char* name) { return XInternAtom(display, name, False); }

    void SayFrame(::Window window)
    {
        XChangeProperty(display, window, Intern("_NET_FRAME_EXTENTS"), XA_CARDINAL, 32,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(FRAME), 4);
    }

    void Handle(XEvent& event)
    {
        if (manner == Manner::NEVER_ANSWERS) {
            return;
        }
        switch (event.type) {
        case ClientMessage:
            if (event.xclient.message_type == Intern("_NET_REQUEST_FRAME_EXTENTS")) {
                SayFrame(event.xclient.window);
            }
            break;
        case ConfigureRequest: {
            const XConfigureRequestEvent& request = event.xconfigurerequest;
            XWindowChanges changes{};
            changes.x = request.x;
            changes.y = request.y;
            changes.width = request.width;
            changes.height = request.height;
            changes.border_width = request.border_width;
            changes.sibling = request.above;
            changes.stack_mode = request.detail;
            XConfigureWindow(display, request.window, static_cast<unsigned>(request.value_mask),
                             &changes);
            break;
        }
        case MapRequest:
            if (manner == Manner::DROPS_FIRST_MAP_REQUEST && !droppedOne) {
                droppedOne = true;
                break;
            }
            if (manner == Manner::SAYS_FRAME_ON_MAPPING) {
                SayFrame(event.xmaprequest.window);
            }
            XMapWindow(display, event.xmaprequest.window);
            break;
        default:
            break;
        }
        XFlush(display);
    }

    void Serve()
    {
        while (!stop) {
            pollfd connection{ConnectionNumber(display), POLLIN, 0};
            poll(&connection, 1, 20);
            while (XPending(display) > 0) {
                XEvent event;
                XNextEvent(display, &event);
                Handle(event);
            }
        }
    }

    Manner manner;
    bool droppedOne = false;
    Display* display = nullptr;
    std::thread thread;
    std::atomic<bool> stop{false};
};

// The probe window's size as the X server shows it; 0 x 0 if it is not
// found or not shown.
std::pair<int, int> ShownSize(const std::string& displayName)
{
    Display* display = XOpenDisplay(displayName.c_str());
    if (display == nullptr) {
        return {0, 0};
    }
    std::pair<int, int> size{0, 0};
    XWindowAttributes attributes;
    const ::Window window = FindXWindow(display, DefaultRootWindow(display), TITLE);
    if (window != 0 && XGetWindowAttributes(display, window, &attributes) &&
        attributes.map_state == IsViewable) {
        size = {attributes.width, attributes.height};
    }
    XCloseDisplay(display);
    return size;
}

class UnderWindowManager : public ::testing::TestWithParam<Manner> {};

TEST_P(UnderWindowManager, TheFrameComesOffTheOuterSizeAndNothingHangs)
{
    proc::XServer server(24);
    if (!server.Running()) {
        GTEST_SKIP() << "no Xvfb";
    }
    FakeWindowManager manager(server.name, GetParam());
    ASSERT_TRUE(manager.Running());
    const auto start = std::chrono::steady_clock::now();
    Child probe({{WINDOW_PROBE},
                 Environment({"DISPLAY", "SDL_VIDEODRIVER"}, {"DISPLAY=" + server.name})});
    ASSERT_TRUE(probe.ReadUntil(5000, [](const Child& child) {
        return child.out.find("painted") != std::string::npos || child.exited;
    })) << "no paint: hung while showing the window";
    const auto took = std::chrono::steady_clock::now() - start;
    ASSERT_FALSE(probe.exited) << probe.err;
    EXPECT_EQ(probe.err, "");
    if (GetParam() == Manner::NEVER_ANSWERS) {
        // Two waits for the manager, half a second each at most.
        EXPECT_LT(took, std::chrono::milliseconds(2500));
        return;
    }
    const std::pair<int, int> expected{640 - FRAME[0] - FRAME[1], 480 - FRAME[2] - FRAME[3]};
    // The manager applies a resize asked after mapping on its own thread.
    std::pair<int, int> size;
    for (int attempt = 0; attempt < 50 && size != expected; ++attempt) {
        size = ShownSize(server.name);
        usleep(20'000);
    }
    EXPECT_EQ(size, expected) << "not shown, or not at its size";
}

// The window at the desktop's scale, without a window manager: the outer
// size, all client area, that many times larger where the screen holds it.
TEST(AtTheDesktopsScale, TheClientAreaIsAWholeMultipleThatFitsTheScreen)
{
    struct Row {
        const char* screen;
        const char* resources;  // the root window's RESOURCE_MANAGER, as xrdb sets it
        const char* override;   // KORU_BENCH_SCALE
        std::pair<int, int> size;
        const char* said;  // on stderr
    };
    const Row rows[] = {
        {"3840x2160", "Xft.dpi:\t192\n", nullptr, {1280, 960}, ""},
        {"3840x2160", "", nullptr, {640, 480}, ""},
        {"3840x2160", "Xft.antialias:\t1\nXft.dpi:\t96\n", nullptr, {640, 480}, ""},
        {"1024x768", "Xft.dpi:\t192\n", nullptr, {640, 480}, ""},
        {"3840x2160", "", "3", {1920, 1440}, ""},
        {"3840x2160", "Xft.dpi:\t192\n", "abc", {1280, 960}, "KORU_BENCH_SCALE=abc is not a whole number"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.screen) + " " + row.resources + (row.override ? row.override : ""));
        proc::XServer server(24, row.screen);
        ASSERT_TRUE(server.Running());
        Display* display = XOpenDisplay(server.name.c_str());
        ASSERT_NE(display, nullptr);
        XChangeProperty(display, DefaultRootWindow(display), XA_RESOURCE_MANAGER, XA_STRING, 8,
                        PropModeReplace, reinterpret_cast<const unsigned char*>(row.resources),
                        static_cast<int>(std::strlen(row.resources)));
        XCloseDisplay(display);
        std::vector<std::string> env =
            Environment({"DISPLAY", "SDL_VIDEODRIVER", "KORU_BENCH_SCALE", "GDK_SCALE"}, {"DISPLAY=" + server.name});
        if (row.override != nullptr) {
            env.push_back(std::string("KORU_BENCH_SCALE=") + row.override);
        }
        Child scaled({{WINDOW_PROBE}, env});
        ASSERT_TRUE(scaled.ReadUntil(5000, [](const Child& child) {
            return child.out.find("painted") != std::string::npos || child.exited;
        })) << scaled.err;
        EXPECT_EQ(ShownSize(server.name), row.size);
        EXPECT_NE(scaled.err.find(row.said), std::string::npos) << scaled.err;
        EXPECT_EQ(*row.said == '\0', scaled.err.empty()) << scaled.err;
    }
}

INSTANTIATE_TEST_SUITE_P(Manners, UnderWindowManager,
                         ::testing::Values(Manner::SAYS_FRAME_BEFORE_MAPPING,
                                           Manner::SAYS_FRAME_ON_MAPPING,
                                           Manner::DROPS_FIRST_MAP_REQUEST, Manner::NEVER_ANSWERS),
                         [](const ::testing::TestParamInfo<Manner>& info) {
                             return std::string(Name(info.param));
                         });

}  // namespace
