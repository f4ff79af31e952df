// Linux only: the close request as a user makes it (the window manager's
// WM_DELETE_WINDOW) and SDL's quit event both end in WM_DESTROY; and the
// size the window really has on the X server, with or without a window
// manager's frame.
#include "window/message_recorder.h"

#include <gtest/gtest.h>

#include <SDL.h>
// After gtest: Xlib defines macros such as None and Bool (so does
// find_x_window.h, below).
#include <X11/Xlib.h>
#include <X11/Xutil.h>


#include "window/find_x_window.h"

using namespace wintest;

namespace {

constexpr char TITLE[] = "KORU window test";

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
    const ::Window target = FindXWindow(display, DefaultRootWindow(display), TITLE);
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

TEST(WindowSize, TheOuterSizeIsTheOneAskedForFrameIncluded)
{
    HWND window = CreateShownWindow();
    ASSERT_NE(window, nullptr);
    Display* display = XOpenDisplay(nullptr);
    ASSERT_NE(display, nullptr);
    const ::Window root = DefaultRootWindow(display);
    const ::Window client = FindXWindow(display, root, TITLE);
    ASSERT_NE(client, 0u);
    // The window manager's frame, if there is one, is the client's ancestor
    // that is a child of the root window; without one that is the client.
    ::Window outer = client;
    for (;;) {
        ::Window rootReturn;
        ::Window parent = 0;
        ::Window* children = nullptr;
        unsigned int count = 0;
        ASSERT_TRUE(XQueryTree(display, outer, &rootReturn, &parent, &children, &count));
        XFree(children);
        if (parent == root) {
            break;
        }
        outer = parent;
    }
    XWindowAttributes clientAttributes;
    XWindowAttributes outerAttributes;
    XGetWindowAttributes(display, client, &clientAttributes);
    XGetWindowAttributes(display, outer, &outerAttributes);
    XCloseDisplay(display);
    RECT rect;
    GetClientRect(window, &rect);
    DestroyWindow(window);
    EXPECT_EQ(rect.right, clientAttributes.width);
    EXPECT_EQ(rect.bottom, clientAttributes.height);
    EXPECT_EQ(outerAttributes.width + 2 * outerAttributes.border_width, 640);
    EXPECT_EQ(outerAttributes.height + 2 * outerAttributes.border_width, 480);
}

}  // namespace
