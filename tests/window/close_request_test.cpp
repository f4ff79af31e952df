// Linux only: the close request as a user makes it (the window manager's
// WM_DELETE_WINDOW) and SDL's quit event both end in WM_DESTROY; and
// the size the window really has on an X server without a window manager.
#include "window/message_recorder.h"

#include <gtest/gtest.h>

#include <SDL.h>
// After gtest: Xlib defines macros such as None and Bool.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstring>

using namespace wintest;

namespace {

constexpr char TITLE[] = "KORU window test";

// Depth-first search for a window named TITLE, frames included.
::Window FindByTitle(Display* display, ::Window from)
{
    char* name = nullptr;
    if (XFetchName(display, from, &name) && name != nullptr) {
        const bool match = std::strcmp(name, TITLE) == 0;
        XFree(name);
        if (match) {
            return from;
        }
    }
    ::Window root;
    ::Window parent;
    ::Window* children = nullptr;
    unsigned int count = 0;
    ::Window found = 0;
    if (XQueryTree(display, from, &root, &parent, &children, &count)) {
        for (unsigned int i = 0; i < count && found == 0; ++i) {
            found = FindByTitle(display, children[i]);
        }
        XFree(children);
    }
    return found;
}

class CloseRequest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetRecorder();
        window = CreateShownWindow();
        ASSERT_NE(window, nullptr);
        TheRecorder().quitOnDestroy = true;
    }
    void TearDown() override { DestroyWindow(window); }

    // Runs the loop until WM_QUIT, as WinMain does.
    void RunLoop()
    {
        MSG msg;
        SetTimer(window, 9, 3000, nullptr);  // gives up if the request is lost
        while (GetMessageA(&msg, nullptr, 0, 0) > 0 &&
               !(msg.message == WM_TIMER && msg.wParam == 9)) {
            DispatchQueued(msg);
        }
        EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    }

    HWND window = nullptr;
};

TEST_F(CloseRequest, WindowManagerDeleteWindow)
{
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const ::Window target = FindByTitle(display, DefaultRootWindow(display));
    ASSERT_NE(target, 0u);
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = target;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, target, False, NoEventMask, &event);
    XCloseDisplay(display);

    RunLoop();
    EXPECT_SEQUENCE({{WM_CLOSE, QUEUED}, {WM_DESTROY, SENT}});
}

TEST_F(CloseRequest, SdlQuitClosesTheWindow)
{
    SDL_Event event{};
    event.type = SDL_QUIT;
    SDL_PushEvent(&event);
    RunLoop();
    EXPECT_SEQUENCE({{WM_CLOSE, QUEUED}, {WM_DESTROY, SENT}});
}

TEST(WindowSize, WithoutWindowManagerTheWholeOuterSizeIsClientArea)
{
    HWND window = CreateShownWindow();
    ASSERT_NE(window, nullptr);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    // A window manager that follows EWMH names itself on the root window.
    Atom type = None;
    int format = 0;
    unsigned long items = 0;
    unsigned long after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(display, DefaultRootWindow(display),
                       XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", False), 0, 1, False,
                       XA_WINDOW, &type, &format, &items, &after, &data);
    const bool managed = items != 0;
    if (data != nullptr) {
        XFree(data);
    }
    XCloseDisplay(display);
    RECT client;
    GetClientRect(window, &client);
    DestroyWindow(window);
    if (managed) {
        GTEST_SKIP() << "a window manager is running";
    }
    EXPECT_EQ(client.right, 640);
    EXPECT_EQ(client.bottom, 480);
}

}  // namespace
