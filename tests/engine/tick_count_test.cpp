// GetTickCount on Linux: read in a loop it is a published word kept current
// by a ticker; read now and then it comes from the clock; either way it
// tracks CLOCK_MONOTONIC in milliseconds, never goes back, and the ticker
// sleeps once nobody reads in a loop.
#include <windows.h>

#include <gtest/gtest.h>

#include <dirent.h>
#include <time.h>

#include <atomic>
#include <cstdint>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// The ticker publishes every 15.625 ms, as Windows advances its tick: a
// published value lags the clock by at most that, rounded up, and by what a
// wake-up a little late adds (up to 5 ms seen on a virtual machine beside
// this test's busy reader; how late a phase ends is the benchmark's to say).
constexpr std::int64_t INTERVAL_MS = 16;
constexpr std::int64_t LATE_WAKE_MS = 8;
// Publishing more often than this costs the measured loops their processor.
constexpr std::int64_t FINEST_MS = 4;

std::int64_t ClockMs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return std::int64_t{now.tv_sec} * 1000 + now.tv_nsec / 1000000;
}

// How far the tick lies behind the clock read just after it, in wrapping
// 32-bit arithmetic; negative if it is ahead.
std::int64_t Lag(DWORD tick, std::int64_t clockMs)
{
    return static_cast<std::int32_t>(static_cast<DWORD>(clockMs) - tick);
}

// Context switches of the ticker thread, found by its name; -1 if it does
// not exist (yet).
long TickerSwitches()
{
    DIR* tasks = opendir("/proc/self/task");
    long switches = -1;
    while (dirent* entry = tasks != nullptr ? readdir(tasks) : nullptr) {
        const std::string task = std::string("/proc/self/task/") + entry->d_name;
        std::string name;
        std::getline(std::ifstream(task + "/comm"), name);
        if (name != "koru-ticker") {
            continue;
        }
        std::ifstream status(task + "/status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("voluntary_ctxt_switches:", 0) == 0) {
                switches = std::stol(line.substr(line.find(':') + 1));
            }
        }
    }
    if (tasks != nullptr) {
        closedir(tasks);
    }
    return switches;
}

struct Steps {
    int all = 0;
    int withinInterval = 0;
};

// Reads in a tight loop for `ms`, as a measured loop does, checking each
// value against the clock; returns the steps the value made.
Steps ReadBusily(int ms)
{
    const std::int64_t end = ClockMs() + ms;
    DWORD last = GetTickCount();
    Steps steps;
    // Where the machine stopped this reader too (a virtual machine held by
    // its host), the ticker gets a late wake-up's time to catch up.
    std::int64_t checked = ClockMs(), graceUntil = 0;
    for (std::int64_t now = ClockMs(); now < end; now = ClockMs()) {
        for (int i = 0; i < 1000; ++i) {
            const DWORD tick = GetTickCount();
            EXPECT_GE(static_cast<std::int32_t>(tick - last), 0) << "the tick went back";
            steps.all += tick != last;
            steps.withinInterval += tick != last && tick - last <= INTERVAL_MS;
            last = tick;
        }
        const std::int64_t before = checked;
        checked = ClockMs();
        if (checked - before > LATE_WAKE_MS) {
            graceUntil = checked + LATE_WAKE_MS;
        }
        const std::int64_t lag = Lag(last, checked);
        EXPECT_GE(lag, 0) << "the tick ran ahead of the clock";
        if (checked > graceUntil) {
            EXPECT_LE(lag, INTERVAL_MS + LATE_WAKE_MS);
        }
    }
    return steps;
}

TEST(TickCount, ReadInALoopItTicksAsWindowsDoesWithTheClock)
{
    constexpr int READ_MS = 400;
    const Steps steps = ReadBusily(READ_MS);
    // About 25 steps of 15 or 16 ms (a tick that comes late makes a longer
    // one); a finer ticker makes more, a coarser one longer steps.
    EXPECT_LE(steps.all, READ_MS / FINEST_MS);
    EXPECT_GE(steps.withinInterval * 2, steps.all)
        << steps.withinInterval << " of " << steps.all << " steps within " << INTERVAL_MS << " ms";
    EXPECT_GE(steps.all, READ_MS / INTERVAL_MS / 2);
    EXPECT_GE(TickerSwitches(), 0) << "no ticker thread";
}

TEST(TickCount, ReadNowAndThenItComesFromTheClock)
{
    Sleep(100);  // any spell of ticking is over
    for (int i = 0; i < 10; ++i) {
        const DWORD tick = GetTickCount();
        const std::int64_t lag = Lag(tick, ClockMs());
        EXPECT_GE(lag, 0);
        EXPECT_LE(lag, 1);
        Sleep(7);
    }
}

TEST(TickCount, TheTickerSleepsOnceNobodyReadsInALoop)
{
    ReadBusily(50);
    Sleep(150);  // the spell of ticking ends four ticks (62.5 ms) after it began
    const long before = TickerSwitches();
    // A window thread's pace: a few reads for each message, ten messages a
    // second, must not start it again.
    for (int i = 0; i < 5; ++i) {
        for (int read = 0; read < 4; ++read) {
            GetTickCount();
        }
        Sleep(100);
    }
    const long after = TickerSwitches();
    ASSERT_GE(before, 0);
    EXPECT_LE(after - before, 1) << "the ticker woke while nobody read in a loop";
}

TEST(TickCount, NeverGoesBackAcrossSpellsAndThreads)
{
    // Bursts of busy reading with pauses long enough for the ticker to
    // sleep in between, on several threads at once: every thread sees its
    // ticks only grow, whether they came from the ticker or from the clock.
    std::atomic<int> backwards{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 3; ++t) {
        readers.emplace_back([&backwards, t] {
            DWORD last = GetTickCount();
            for (int burst = 0; burst < 8; ++burst) {
                for (int i = 0; i < 200000; ++i) {
                    const DWORD tick = GetTickCount();
                    backwards += static_cast<std::int32_t>(tick - last) < 0;
                    last = tick;
                }
                Sleep(70 + 5 * t);
            }
        });
    }
    for (std::thread& reader : readers) {
        reader.join();
    }
    EXPECT_EQ(backwards.load(), 0);
}

}  // namespace
