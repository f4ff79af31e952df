// The update region and BeginPaint: erasing only when asked (and then with
// the class brush), the erase request outliving later invalidations, and
// rcPaint as the bounding rectangle clipped to the client area.
#include "window/message_recorder.h"

#include <gtest/gtest.h>

using namespace wintest;

namespace {

constexpr COLORREF BLACK = RGB(0, 0, 0);
constexpr COLORREF WHITE = RGB(255, 255, 255);

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

class Paint : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetRecorder();
        // Its first paint leaves the client area black.
        window = CreateShownWindow();
        ASSERT_NE(window, nullptr);
        GetClientRect(window, &client);
    }
    void TearDown() override { DestroyWindow(window); }
    HWND window = nullptr;
    RECT client{};
};

TEST_F(Paint, WithoutEraseTheOldPixelsStay)
{
    InvalidateRect(window, nullptr, FALSE);
    Flush(window);
    EXPECT_SEQUENCE({{WM_PAINT, QUEUED}});
    ASSERT_EQ(TheRecorder().paints.size(), 1u);
    const PaintSeen& seen = TheRecorder().paints[0];
    EXPECT_FALSE(seen.fErase);
    EXPECT_TRUE(SameRect(seen.rcPaint, client));
    EXPECT_EQ(seen.pixel, BLACK);
}

TEST_F(Paint, EraseFillsWithTheClassBrush)
{
    InvalidateRect(window, nullptr, TRUE);
    Flush(window);
    EXPECT_SEQUENCE({{WM_PAINT, QUEUED}, {WM_ERASEBKGND, SENT}});
    ASSERT_EQ(TheRecorder().paints.size(), 1u);
    const PaintSeen& seen = TheRecorder().paints[0];
    // DefWindowProcA erased, so nothing is left for the paint to erase.
    EXPECT_FALSE(seen.fErase);
    EXPECT_EQ(seen.pixel, WHITE);
}

TEST_F(Paint, EraseIsStickyAndAreasAddUp)
{
    const RECT first{10, 10, 50, 50};
    const RECT second{100, 100, 150, 150};
    InvalidateRect(window, &first, TRUE);
    InvalidateRect(window, &second, FALSE);
    TheRecorder().probe = POINT{120, 120};
    Flush(window);
    EXPECT_SEQUENCE({{WM_PAINT, QUEUED}, {WM_ERASEBKGND, SENT}});
    ASSERT_EQ(TheRecorder().paints.size(), 1u);
    const PaintSeen& seen = TheRecorder().paints[0];
    EXPECT_TRUE(SameRect(seen.rcPaint, RECT{10, 10, 150, 150}));
    EXPECT_EQ(seen.pixel, WHITE) << "the later, non-erasing area was not erased";
}

TEST_F(Paint, UpdateAreaIsClippedToTheClientArea)
{
    const RECT beyond{-10, -10, 5000, 20};
    InvalidateRect(window, &beyond, FALSE);
    Flush(window);
    ASSERT_EQ(TheRecorder().paints.size(), 1u);
    EXPECT_TRUE(SameRect(TheRecorder().paints[0].rcPaint, RECT{0, 0, client.right, 20}));
}

}  // namespace
