// Every screen the paint composes, against the test's own table: which
// picture, each line's bytes, position and font height, and nothing else.
// The counts are chosen so that every figure truncates a remainder.
#include "display/fake_worker.h"
#include "display/screen_check.h"

#include "paint_main_window.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

// "のこり<n>秒" in code page 932.
#define SECONDS_LEFT(n) "\x82\xCC\x82\xB1\x82\xE8" n "\x95\x62"

constexpr int COUNTDOWN_HEIGHT = 30;
constexpr int RESULTS_HEIGHT = 25;

struct ScreenCase {
    const char* name;
    std::int32_t lastShown;  // before this paint
    RunState run;
    DWORD now;
    ExpectedScreen screen;
};

ExpectedScreen Countdown(const char* secondsLeft, const char* cpu, const char* fpu, const char* sd)
{
    return {0, COUNTDOWN_HEIGHT, {{secondsLeft, 400, 130}, {cpu, 400, 180}, {fpu, 400, 220}, {sd, 400, 260}}};
}

ExpectedScreen Results(int picture, const char* fraction, const char* cpu, const char* fpu, const char* sd)
{
    return {picture, RESULTS_HEIGHT, {{fraction, 510, 135}, {cpu, 400, 170}, {fpu, 400, 195}, {sd, 400, 220}}};
}

RunState Running(std::uint64_t cpu, std::uint64_t fpu, std::uint64_t sd, DWORD start)
{
    return {cpu, fpu, sd, start, true};
}

// The run over: composed just after the deadline, when the value steps to 0.
ScreenCase Finished(const char* name, std::uint64_t cpu, std::uint64_t fpu, std::uint64_t sd,
                    ExpectedScreen screen)
{
    return {name, 1, {cpu, fpu, sd, 50000, false}, 50000 + 15001, screen};
}

class Screens : public ScreenTest {
protected:
    void Expect(const ScreenCase& row)
    {
        SCOPED_TRACE(row.name);
        PatBlt(got.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, WHITENESS);
        PatBlt(expected.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, WHITENESS);
        SetRun(row.run);
        lastShownSeconds = row.lastShown;
        PaintScreen(window, got.dc, row.now);
        DrawExpected(window, expected.dc, row.screen);
        EXPECT_EQ(CompareScreens(got.dc, expected.dc, row.screen), "");
    }
};

TEST_F(Screens, FirstPaintShowsTheMeasuringPictureAndAnAsciiLineInTheContextsFont)
{
    const int startsBefore = fake::WorkerStarts();
    // startTick is still 0: the worker has not run yet.
    Expect({"first paint", -1, Running(0, 0, 0, 0), 123456,
            {0, 0, {{"Getting ready...", 380, 150}}}});
    EXPECT_TRUE(fake::WaitForWorkerStarts(startsBefore + 1));
}

TEST_F(Screens, CountdownShowsTheSecondsLeftAndTheLiveFigures)
{
    const DWORD start = 0x00012345;
    const ScreenCase rows[] = {
        {"at the start tick", 0, Running(0, 0, 0, start), start,
         Countdown(SECONDS_LEFT("16"), "CPU=0", "FPU=0", "SD=0")},
        {"first tick", 16, Running(31000 * 7 + 30999, 0, 0, start), start + 100,
         Countdown(SECONDS_LEFT("15"), "CPU=7", "FPU=0", "SD=0")},
        {"integer phase", 13, Running(31000ull * 98765 + 30999, 0, 0, start), start + 4000,
         Countdown(SECONDS_LEFT("12"), "CPU=98765", "FPU=0", "SD=0")},
        {"floating-point phase", 11, Running(31000ull * 161290, 27300 * 2345 + 27299, 0, start),
         start + 5500, Countdown(SECONDS_LEFT("10"), "CPU=161290", "FPU=2345", "SD=0")},
        {"last second", 2, Running(31000ull * 161290, 27300 * 2345, 1239, start), start + 14500,
         Countdown(SECONDS_LEFT("1"), "CPU=161290", "FPU=2345", "SD=123")},
        {"across the tick wrap", 11, Running(31000 * 3, 27300 * 4, 59, 0xFFFFF000u), 0xFFFFF000u + 5500,
         Countdown(SECONDS_LEFT("10"), "CPU=3", "FPU=4", "SD=5")},
        {"deadline passed, last write going", 1, Running(31000, 27300, 2000, start), start + 15001,
         Countdown(SECONDS_LEFT("0"), "CPU=1", "FPU=1", "SD=200")},
        {"composed later still", 0, Running(31000, 27300, 2010, start), start + 16001,
         Countdown(SECONDS_LEFT("0"), "CPU=1", "FPU=1", "SD=201")},
    };
    for (const ScreenCase& row : rows) {
        Expect(row);
    }
}

TEST_F(Screens, ResultsShowTheBandsPictureTheFractionAndTheFinalFigures)
{
    // Scores 63, 1080, 1200, 2393, 2445 and 3791: one in each band, with
    // the fraction's zero padding, its edges and its middle.
    const ScreenCase rows[] = {
        Finished("band 1", 0, 0, 158, Results(1, ".07", "CPU=0", "FPU=0", "SD=15")),
        Finished("band 2", 932000, 27500, 2097, Results(2, ".60", "CPU=30", "FPU=1", "SD=209")),
        Finished("band 3", 3100000, 327600, 976, Results(3, ".00", "CPU=100", "FPU=12", "SD=97")),
        Finished("band 4", 4657000, 628600, 2932, Results(4, ".99", "CPU=150", "FPU=23", "SD=293")),
        Finished("band 5", 6203000, 12449100, 1199, Results(5, ".05", "CPU=200", "FPU=456", "SD=119")),
        Finished("band 6", 9960000, 2740000, 2852, Results(6, ".40", "CPU=321", "FPU=100", "SD=285")),
    };
    for (const ScreenCase& row : rows) {
        Expect(row);
    }
}

}  // namespace
