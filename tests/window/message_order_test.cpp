// Which messages a window gets, in which order, and whether sent straight to
// its procedure or taken from the queue: creation, the first paint, the
// queue's order of retrieval, quitting and closing.
#include "window/message_recorder.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

using namespace wintest;

namespace {

class MessageOrder : public ::testing::Test {
protected:
    void SetUp() override { ResetRecorder(); }
    void TearDown() override
    {
        if (window != nullptr) {
            DestroyWindow(window);
        }
    }
    HWND window = nullptr;
};

TEST_F(MessageOrder, CreateSendsWmCreateBeforeReturning)
{
    int param = 0;
    window = CreateRecordingWindow(&param);
    ASSERT_NE(window, nullptr);
    EXPECT_SEQUENCE({{WM_CREATE, SENT}});
    EXPECT_EQ(TheRecorder().createParam, &param);
    EXPECT_EQ(GetWindowLongA(window, GWL_HINSTANCE),
              static_cast<LONG>(reinterpret_cast<std::uintptr_t>(TestInstance())));
}

TEST_F(MessageOrder, CreateFailsWhenWmCreateSaysMinusOne)
{
    TheRecorder().createResult = -1;
    EXPECT_EQ(CreateRecordingWindow(), nullptr);
    EXPECT_SEQUENCE({{WM_CREATE, SENT}, {WM_DESTROY, SENT | MAYBE}});
}

TEST_F(MessageOrder, ShowAndUpdatePaintOnceBeforeUpdateReturns)
{
    window = CreateRecordingWindow();
    ASSERT_NE(window, nullptr);
    TheRecorder().messages.clear();

    ShowWindow(window, SW_SHOW);
    const auto before = std::chrono::steady_clock::now();
    UpdateWindow(window);
    const auto took = std::chrono::steady_clock::now() - before;
    // Windows may erase while showing or inside BeginPaint.
    EXPECT_SEQUENCE({{WM_ERASEBKGND, SENT | MAYBE},
                     {WM_PAINT, SENT},
                     {WM_ERASEBKGND, SENT | MAYBE}});
    std::printf("UpdateWindow with its paint: %.3f ms\n",
                std::chrono::duration<double, std::milli>(took).count());

    // BeginPaint validated, and the client area had its final size already:
    // nothing is left to paint, even once a window manager has framed the
    // window.
    PumpUntil(window, [](const MSG&) { return false; }, 300);
    EXPECT_SEQUENCE({{WM_ERASEBKGND, SENT | MAYBE},
                     {WM_PAINT, SENT},
                     {WM_ERASEBKGND, SENT | MAYBE}});
    ASSERT_EQ(TheRecorder().paints.size(), 1u);
    RECT client;
    GetClientRect(window, &client);
    const RECT& painted = TheRecorder().paints[0].rcPaint;
    EXPECT_EQ(painted.right, client.right) << "the client area changed after the first paint";
    EXPECT_EQ(painted.bottom, client.bottom) << "the client area changed after the first paint";
}

TEST_F(MessageOrder, PaintHandedToDefWindowProcIsNotRepeated)
{
    TheRecorder().paintMode = PaintMode::DEFER;
    window = CreateShownWindow();
    ASSERT_NE(window, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    Flush(window);
    EXPECT_SEQUENCE({{WM_PAINT, QUEUED}});
}

TEST_F(MessageOrder, PostedThenPaintThenTimer)
{
    window = CreateShownWindow();
    ASSERT_NE(window, nullptr);
    SetTimer(window, 1, 10, nullptr);
    InvalidateRect(window, nullptr, FALSE);
    PostMessageA(window, WM_USER + 1, 0, 0);
    PostMessageA(window, WM_USER + 2, 0, 0);
    Sleep(50);  // the timer is due by now
    EXPECT_TRUE(PumpUntil(window, [](const MSG& msg) { return msg.message == WM_TIMER; }));
    KillTimer(window, 1);
    EXPECT_SEQUENCE({{WM_USER + 1, QUEUED},
                     {WM_USER + 2, QUEUED},
                     {WM_PAINT, QUEUED},
                     {WM_TIMER, QUEUED | WPARAM_IS, 1}});
}

TEST_F(MessageOrder, QuitComesAfterEveryPostedMessage)
{
    window = CreateShownWindow();
    ASSERT_NE(window, nullptr);
    PostMessageA(window, WM_USER + 1, 0, 0);
    PostQuitMessage(7);
    PostMessageA(window, WM_USER + 2, 0, 0);  // posted after the quit, still before it
    SetTimer(window, 2, 2000, nullptr);      // wakes the loop if WM_QUIT never comes

    MSG msg;
    BOOL result;
    while ((result = GetMessageA(&msg, nullptr, 0, 0)) > 0 &&
           !(msg.message == WM_TIMER && msg.wParam == 2)) {
        DispatchQueued(msg);
    }
    KillTimer(window, 2);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 7u);
    EXPECT_SEQUENCE({{WM_USER + 1, QUEUED}, {WM_USER + 2, QUEUED}});
}

TEST_F(MessageOrder, CloseEndsInDestroyAndQuit)
{
    window = CreateShownWindow();
    ASSERT_NE(window, nullptr);
    TheRecorder().quitOnDestroy = true;
    PostMessageA(window, WM_CLOSE, 0, 0);
    SetTimer(window, 3, 2000, nullptr);  // wakes the loop if the window lives on

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0 &&
           !(msg.message == WM_TIMER && msg.wParam == 3)) {
        DispatchQueued(msg);
    }
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
    EXPECT_EQ(msg.wParam, 0u);
    EXPECT_SEQUENCE({{WM_CLOSE}, {WM_DESTROY, SENT}});
    RECT client;
    EXPECT_FALSE(GetClientRect(window, &client)) << "the window outlived WM_CLOSE";
    window = nullptr;
}

TEST_F(MessageOrder, DefWindowProcCloseDestroys)
{
    window = CreateRecordingWindow();
    ASSERT_NE(window, nullptr);
    TheRecorder().messages.clear();
    EXPECT_EQ(DefWindowProcA(window, WM_CLOSE, 0, 0), 0);
    EXPECT_SEQUENCE({{WM_DESTROY, SENT}});
    window = nullptr;
}

TEST_F(MessageOrder, DestroyedWindowGetsNoTimer)
{
    HWND doomed = CreateRecordingWindow();
    window = CreateShownWindow();
    ASSERT_NE(doomed, nullptr);
    ASSERT_NE(window, nullptr);
    SetTimer(doomed, 1, 10, nullptr);
    DestroyWindow(doomed);
    SetTimer(window, 2, 100, nullptr);
    bool doomedSeen = false;
    EXPECT_TRUE(PumpUntil(window, [&](const MSG& msg) {
        doomedSeen = doomedSeen || msg.hwnd == doomed;
        return msg.message == WM_TIMER && msg.wParam == 2;
    }));
    KillTimer(window, 2);
    EXPECT_FALSE(doomedSeen);
}

}  // namespace
