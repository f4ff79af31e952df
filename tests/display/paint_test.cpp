// The paint routine's rules: the seconds value, composing only when it
// changes, the first paint's start of the refresh timer and the worker, and
// the context handed back as it came.
#include "display/fake_worker.h"
#include "display/read_pixels.h"
#include "display/screen_check.h"

#include "countdown.h"
#include "paint_main_window.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

constexpr COLORREF SENTINEL = RGB(0, 0, 0);

TEST(SecondsFormula, CountsDownFromSixteenAcrossTheTickWrapAndWrapsPastTheDeadline)
{
    // The last start runs across the wrap mid-run.
    for (const DWORD start : {0u, 0x7FFFFFFFu, 0xFFFFF000u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(start);
        EXPECT_EQ(CountdownSeconds(start, start), 16u);
        for (DWORD second = 1; second <= 15; ++second) {
            // Second `second` of the run begins 1 ms after (second - 1) * 1000.
            EXPECT_EQ(CountdownSeconds(start, start + (second - 1) * 1000 + 1), 16u - second) << second;
            EXPECT_EQ(CountdownSeconds(start, start + second * 1000), 16u - second) << second;
        }
        EXPECT_EQ(CountdownSeconds(start, start + 15001), 0u);
        EXPECT_EQ(CountdownSeconds(start, start + 16000), 0u);
        // Later still the value wraps: never back to a countdown, never -1.
        EXPECT_EQ(CountdownSeconds(start, start + 16001), 4294967u);
        EXPECT_EQ(CountdownSeconds(start, start + 17000), 4294966u);
        EXPECT_EQ(CountdownSeconds(start, start + 17001), 4294966u);
    }
}

class Paint : public ScreenTest {
protected:
    // Paints at `now`; true if anything was drawn over the sentinel.
    bool PaintDraws(DWORD now)
    {
        PatBlt(got.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, BLACKNESS);
        PaintScreen(window, got.dc, now);
        for (COLORREF pixel : ReadPixels(got.dc)) {
            if (pixel != SENTINEL) {
                return true;
            }
        }
        return false;
    }

    // WM_TIMERs with identifier 1 and no procedure that reach the window
    // within `forMs`.
    int CountRefreshTicks(UINT forMs)
    {
        constexpr UINT_PTR GUARD_TIMER = 0x7001;
        SetTimer(window, GUARD_TIMER, forMs, nullptr);
        int ticks = 0;
        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (msg.message == WM_TIMER && msg.hwnd == window && msg.wParam == GUARD_TIMER) {
                break;
            }
            if (msg.message == WM_TIMER && msg.hwnd == window && msg.wParam == 1) {
                ++ticks;
                EXPECT_EQ(msg.lParam, 0) << "a timer procedure";
            }
            DispatchMessageA(&msg);
        }
        KillTimer(window, GUARD_TIMER);
        return ticks;
    }
};

TEST_F(Paint, ComposesOnlyWhenTheSecondsValueChanges)
{
    const DWORD start = 70000;
    SetRun({0, 0, 0, start, true});
    lastShownSeconds = 16;
    // The value is 10 from 5001 to 6000 ms after the start.
    EXPECT_TRUE(PaintDraws(start + 5001));
    EXPECT_FALSE(PaintDraws(start + 5001)) << "the same tick again";
    EXPECT_FALSE(PaintDraws(start + 6000)) << "the last tick of the same value";
    EXPECT_TRUE(PaintDraws(start + 6001));

    SetRun({0, 0, 0, start, false});
    EXPECT_TRUE(PaintDraws(start + 15001)) << "the results, at 0";
    EXPECT_FALSE(PaintDraws(start + 16000));
    EXPECT_TRUE(PaintDraws(start + 16001)) << "the results again, at the wrapped value";
    EXPECT_FALSE(PaintDraws(start + 16295)) << "the wrapped value's last tick";
}

TEST_F(Paint, FirstPaintStartsTheRefreshTimerAndTheWorkerOnce)
{
    const int startsBefore = fake::WorkerStarts();
    SetRun({0, 0, 0, 0, true});
    lastShownSeconds = -1;
    PaintScreen(window, got.dc, 200000);
    // Ticks at 100, 200 and 300 ms; Windows' timers come late, never early.
    const int ticks = CountRefreshTicks(350);
    EXPECT_GE(ticks, 2);
    EXPECT_LE(ticks, 4);
    ASSERT_TRUE(fake::WaitForWorkerStarts(startsBefore + 1));
    EXPECT_TRUE(KillTimer(window, 1));

    // Nothing composed at the same value, then the countdown and the
    // results: none of them starts anything again.
    EXPECT_FALSE(PaintDraws(200000));
    SetRun({0, 0, 0, 300000, true});
    EXPECT_TRUE(PaintDraws(300000 + 1000));
    SetRun({0, 0, 0, 300000, false});
    EXPECT_TRUE(PaintDraws(300000 + 15001));
    EXPECT_EQ(CountRefreshTicks(250), 0) << "a later paint set the timer again";
    EXPECT_EQ(fake::WorkerStarts(), startsBefore + 1);
}

TEST_F(Paint, ScreensHandTheContextBackWithItsOwnFont)
{
    const ExpectedScreen probe = {-1, 0, {{"FPU=45", 100, 100}}};
    SetRun({0, 0, 0, 0, true});
    lastShownSeconds = 16;
    PaintScreen(window, got.dc, 1000);  // countdown
    SetRun({0, 0, 0, 0, false});
    PaintScreen(window, got.dc, 15001);  // results
    PatBlt(got.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, WHITENESS);
    DrawExpected(window, got.dc, probe);
    DrawExpected(window, expected.dc, probe);
    EXPECT_EQ(CompareScreens(got.dc, expected.dc, probe), "");
}

}  // namespace
