// The worker's phases, driven by a scripted clock and scripted file results
// (fake_kernel.cpp stands in for the platform at link time).
#include "bench_state.h"
#include "fake_kernel.h"
#include "scratch_pattern.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

namespace {

constexpr DWORD NEAR_WRAP = 0xFFFFFFFFu - 2000u;  // wraps 2 s into the run

void ResetRun()
{
    BenchState.startTick.store(0);
    StoreCount(BenchState.cpuLoops, 0);
    StoreCount(BenchState.fpuLoops, 0);
    StoreCount(BenchState.sdWrites, 0);
    BenchState.running.store(true);
    IntWork.a = 1;
    IntWork.b = 2;
    IntWork.c = 3;
    RealWork.x = 1.0;
    RealWork.y = 2.0;
    RealWork.z = 3.0;
}

struct Counts {
    std::uint64_t cpu, fpu, sd;
};

Counts RunWorker(fake::KernelScript script)
{
    ResetRun();
    fake::Reset(std::move(script));
    EXPECT_EQ(BenchThreadProc(nullptr), 0u);
    EXPECT_FALSE(BenchState.running.load());
    return {ReadCount(BenchState.cpuLoops), ReadCount(BenchState.fpuLoops), ReadCount(BenchState.sdWrites)};
}

// A clock that moves 1 ms per read: every loop is then exactly 1 ms long.
fake::KernelScript SteppingClock(DWORD start)
{
    fake::KernelScript script;
    script.tick = [start](std::uint64_t n) { return static_cast<DWORD>(start + n); };
    return script;
}

TEST(BenchPhases, OneTickReadPerLoopAndDeadlinesAcrossTheTickWrap)
{
    const Counts counts = RunWorker(SteppingClock(NEAR_WRAP));
    EXPECT_EQ(BenchState.startTick.load(), NEAR_WRAP);
    EXPECT_EQ(counts.cpu, 5000u);
    EXPECT_EQ(counts.fpu, 5000u);
    EXPECT_EQ(counts.sd, 5000u);
    EXPECT_EQ(fake::Record().tickReads, 15001u) << "one start read, then one read per loop";
    EXPECT_EQ(static_cast<DWORD>(fake::Record().lastTick - NEAR_WRAP), 15000u);
}

TEST(BenchPhases, VerySlowStartStillCountsOneLoopPerPhase)
{
    fake::KernelScript script;
    script.tick = [](std::uint64_t n) { return n == 0 ? NEAR_WRAP : NEAR_WRAP + 60000u; };
    const Counts counts = RunWorker(script);
    EXPECT_EQ(counts.cpu, 1u);
    EXPECT_EQ(counts.fpu, 1u);
    EXPECT_EQ(counts.sd, 1u);
    EXPECT_EQ(fake::Record().tickReads, 4u);
}

TEST(BenchPhases, ScratchFileRequestAndContent)
{
    RunWorker(SteppingClock(1000));
    const fake::KernelRecord& record = fake::Record();
    EXPECT_EQ(record.lastPath, "c:\\tmp.dat");
    EXPECT_EQ(record.lastAccess, GENERIC_WRITE);
    EXPECT_EQ(record.lastShare, 0u);
    EXPECT_EQ(record.lastDisposition, static_cast<DWORD>(CREATE_ALWAYS));
    EXPECT_EQ(record.lastFlags, static_cast<DWORD>(FILE_ATTRIBUTE_NORMAL));
    EXPECT_EQ(record.writes, 5000u);
    EXPECT_EQ(record.closes, 5000u);
    EXPECT_FALSE(record.contentDiffered) << "every file written must be the same";
    std::vector<std::uint8_t> expected(SCRATCH_SIZE);
    std::uint8_t pattern = SCRATCH_PATTERN_SEED;
    FillScratch(expected.data(), expected.size(), pattern);
    EXPECT_EQ(record.lastContent, expected);
}

TEST(BenchPhases, FilesThatCannotBeCreatedCountNothingButTheDeadlineHolds)
{
    fake::KernelScript script = SteppingClock(NEAR_WRAP);
    script.createSucceeds = [](std::uint64_t) { return false; };
    const Counts counts = RunWorker(script);
    EXPECT_EQ(counts.sd, 0u);
    EXPECT_EQ(fake::Record().creates, 5000u) << "the storage phase goes on trying to its end";
    EXPECT_EQ(fake::Record().writes, 0u);
    EXPECT_EQ(static_cast<DWORD>(fake::Record().lastTick - NEAR_WRAP), 15000u);
}

TEST(BenchPhases, ShortWritesAreClosedAndNotCounted)
{
    fake::KernelScript script = SteppingClock(0);
    script.bytesWritten = [](std::uint64_t n, DWORD requested) {
        return n % 2 ? requested - 1 : (n % 4 == 0 ? requested : 0);
    };
    const Counts counts = RunWorker(script);
    EXPECT_EQ(counts.sd, 1250u) << "only the whole writes (every fourth) count";
    EXPECT_EQ(fake::Record().closes, fake::Record().creates);
    EXPECT_EQ(fake::Record().openHandles, 0u);
}

TEST(BenchPhases, WriteInProgressAtTheDeadlineCountsIfWhole)
{
    for (const bool whole : {true, false}) {
        // Compute phases 1 ms a loop, then the clock stands at 14999 ms until
        // the third write, which takes until 15600 ms.
        DWORD storageNow = 14999;
        fake::KernelScript script;
        script.tick = [&storageNow](std::uint64_t n) { return n <= 10000 ? DWORD(n) : storageNow; };
        script.bytesWritten = [&storageNow, whole](std::uint64_t n, DWORD requested) {
            if (n == 2) {
                storageNow = 15600;
                return whole ? requested : requested / 2;
            }
            return requested;
        };
        const Counts counts = RunWorker(script);
        EXPECT_EQ(counts.sd, whole ? 3u : 2u);
        EXPECT_EQ(fake::Record().creates, 3u) << "no write after the deadline was seen";
    }
}

// A clock giving the integer phase `intLoops` loops and the floating-point
// phase `realLoops`.
fake::KernelScript LoopCounts(std::uint64_t intLoops, std::uint64_t realLoops)
{
    fake::KernelScript script;
    script.tick = [=](std::uint64_t n) -> DWORD {
        if (n < intLoops) return 0;
        if (n < intLoops + realLoops) return 5000;
        return 15000;
    };
    return script;
}

TEST(BenchPhases, WorkValuesWrapAndOverflowWithoutStopping)
{
    RunWorker(LoopCounts(32, 16));
    EXPECT_NE(IntWork.a, 0u);
    EXPECT_FALSE(std::isinf(RealWork.x));

    const Counts counts = RunWorker(LoopCounts(33, 17));
    EXPECT_EQ(counts.cpu, 33u);
    EXPECT_EQ(counts.fpu, 17u);
    EXPECT_EQ(IntWork.a, 0u) << "a wraps to 0 after 33 loops";
    EXPECT_TRUE(std::isinf(RealWork.x)) << "x overflows after 17 loops";

    RunWorker(LoopCounts(60, 18));
    EXPECT_FALSE(std::isinf(RealWork.y)) << "y is the last to overflow, at loop 19";
    RunWorker(LoopCounts(60, 19));
    EXPECT_EQ(IntWork.a, 0u) << "and stays 0";
    for (double value : {RealWork.x, RealWork.y, RealWork.z}) {
        EXPECT_TRUE(std::isinf(value) && value > 0);
    }

    RunWorker(LoopCounts(60, 400));
    for (double value : {RealWork.x, RealWork.y, RealWork.z}) {
        EXPECT_FALSE(std::isnan(value)) << "every operand is positive: no NaN ever";
    }
}

TEST(BenchPhases, CountsRunOnPastTwoToThe32)
{
    // Every phase starts 3 loops short of 2^32 and runs 10 loops: the tenth
    // tick read of each phase (reads 10, 20 and 30 after the start) meets its
    // deadline.
    constexpr std::uint64_t START = (std::uint64_t{1} << 32) - 3;
    ResetRun();
    StoreCount(BenchState.cpuLoops, START);
    StoreCount(BenchState.fpuLoops, START);
    StoreCount(BenchState.sdWrites, START);
    fake::KernelScript script;
    script.tick = [](std::uint64_t n) -> DWORD {
        return n < 10 ? 0 : n < 20 ? INT_PHASE_END_MS : n < 30 ? REAL_PHASE_END_MS : STORAGE_PHASE_END_MS;
    };
    fake::Reset(script);
    BenchThreadProc(nullptr);
    EXPECT_EQ(ReadCount(BenchState.cpuLoops), START + 10);
    EXPECT_EQ(ReadCount(BenchState.fpuLoops), START + 10);
    EXPECT_EQ(ReadCount(BenchState.sdWrites), START + 10);
}

}  // namespace
