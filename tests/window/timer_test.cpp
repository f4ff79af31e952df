// Window timers as the refresh timer uses them, and a message loop that
// sleeps while it waits.
#include "window/message_recorder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

using namespace wintest;

namespace {

class Timer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetRecorder();
        window = CreateShownWindow();
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { DestroyWindow(window); }

    // Tick counts at which the next `count` WM_TIMERs of `id` arrive.
    std::vector<DWORD> TickTimes(UINT_PTR id, int count, UINT limitMs = 3000)
    {
        std::vector<DWORD> times;
        PumpUntil(
            window,
            [&](const MSG& msg) {
                if (msg.message == WM_TIMER && msg.wParam == id) {
                    times.push_back(GetTickCount());
                }
                return static_cast<int>(times.size()) == count;
            },
            limitMs);
        return times;
    }

    HWND window = nullptr;
};

TEST_F(Timer, TicksCarryTheIdEveryPeriod)
{
    const DWORD start = GetTickCount();
    ASSERT_NE(SetTimer(window, 5, 100, nullptr), 0u);
    const std::vector<DWORD> times = TickTimes(5, 10);
    KillTimer(window, 5);
    ASSERT_EQ(times.size(), 10u);
    for (const Recorded& tick : TheRecorder().messages) {
        EXPECT_EQ(tick.message, static_cast<UINT>(WM_TIMER));
        EXPECT_EQ(tick.wParam, 5u);
        EXPECT_EQ(tick.lParam, 0);
    }
    const double mean = (times.back() - start) / 10.0;
    std::printf("100 ms timer: first tick after %lu ms, mean period %.1f ms\n",
                static_cast<unsigned long>(times.front() - start), mean);
    // Windows' timers are late by up to a clock tick (15.6 ms), never early.
    EXPECT_GE(mean, 95.0);
    EXPECT_LE(mean, 120.0);
}

TEST_F(Timer, TicksMissedWhileBusyComeAsOne)
{
    SetTimer(window, 1, 100, nullptr);
    Sleep(350);  // three periods go by unserved
    const std::vector<DWORD> times = TickTimes(1, 2);
    KillTimer(window, 1);
    ASSERT_EQ(times.size(), 2u);
    EXPECT_GE(times[1] - times[0], 30u) << "a missed tick was delivered late";
}

TEST_F(Timer, SettingTheSameIdAgainRestartsIt)
{
    SetTimer(window, 3, 100, nullptr);
    Sleep(80);
    const DWORD restart = GetTickCount();
    SetTimer(window, 3, 100, nullptr);
    const std::vector<DWORD> times = TickTimes(3, 1);
    KillTimer(window, 3);
    ASSERT_EQ(times.size(), 1u);
    EXPECT_GE(times[0] - restart, 90u);  // not 20 ms later, as the first timer would be
}

TEST_F(Timer, ShortPeriodsAreRaisedToTenMilliseconds)
{
    const DWORD start = GetTickCount();
    SetTimer(window, 4, 1, nullptr);
    const std::vector<DWORD> times = TickTimes(4, 10);
    KillTimer(window, 4);
    ASSERT_EQ(times.size(), 10u);
    EXPECT_GE(times.back() - start, 95u);
}

TEST_F(Timer, KilledTimerStops)
{
    SetTimer(window, 6, 20, nullptr);
    EXPECT_TRUE(KillTimer(window, 6));
    EXPECT_FALSE(KillTimer(window, 6));
    EXPECT_TRUE(TickTimes(6, 1, 200).empty());
}

TEST_F(Timer, WaitingForMessagesTakesNoProcessorTime)
{
    SetTimer(window, 7, 1000, nullptr);
    const DWORD cpuBefore = ProcessCpuMs();
    const DWORD start = GetTickCount();
    const std::vector<DWORD> times = TickTimes(7, 1);
    const DWORD cpu = ProcessCpuMs() - cpuBefore;
    KillTimer(window, 7);
    ASSERT_EQ(times.size(), 1u);
    std::printf("1 s in GetMessageA: %lu ms of processor time over %lu ms\n",
                static_cast<unsigned long>(cpu), static_cast<unsigned long>(times[0] - start));
    EXPECT_LE(cpu, 50u);
}

}  // namespace
