// One real run of the worker on its own thread, watched the way the window
// thread watches it: without a lock, counts only grow, phases follow one
// another, and once `running` reads false the final counts are visible.
#include "bench_state.h"
#include "grading.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>

namespace {

struct Seen {
    std::uint64_t cpu, fpu, sd;
};

Seen Read()
{
    return {ReadCount(BenchState.cpuLoops), ReadCount(BenchState.fpuLoops), ReadCount(BenchState.sdWrites)};
}

TEST(BenchRun, FifteenSecondsWatchedFromAnotherThread)
{
    const DWORD began = GetTickCount();
    HANDLE worker = CreateThread(nullptr, 0, BenchThreadProc, nullptr, 0, nullptr);
    ASSERT_NE(worker, nullptr);

    Seen last{0, 0, 0};
    int samples = 0;
    bool fpuStartedBeforeCpuEnded = false, sdStartedBeforeFpuEnded = false;
    while (BenchState.running.load(std::memory_order_acquire)) {
        const Seen now = Read();
        ASSERT_GE(now.cpu, last.cpu);
        ASSERT_GE(now.fpu, last.fpu);
        ASSERT_GE(now.sd, last.sd);
        // A later phase growing while an earlier one still grows means the
        // phases overlap.
        fpuStartedBeforeCpuEnded |= last.fpu > 0 && now.cpu != last.cpu;
        sdStartedBeforeFpuEnded |= last.sd > 0 && now.fpu != last.fpu;
        last = now;
        ++samples;
        Sleep(5);
        ASSERT_LT(static_cast<DWORD>(GetTickCount() - began), 60000u) << "the run never ended";
    }
    const Seen final = Read();
    const DWORD elapsed = GetTickCount() - began;
    EXPECT_FALSE(fpuStartedBeforeCpuEnded);
    EXPECT_FALSE(sdStartedBeforeFpuEnded);
    EXPECT_GE(final.cpu, last.cpu);
    EXPECT_GT(final.cpu, 0u);
    EXPECT_GT(final.fpu, 0u);
    EXPECT_GE(elapsed, 15000u - 20u);  // tick resolution
    EXPECT_GT(samples, 100);

    Sleep(100);
    const Seen later = Read();
    EXPECT_EQ(later.cpu, final.cpu);
    EXPECT_EQ(later.fpu, final.fpu);
    EXPECT_EQ(later.sd, final.sd);

    const PhaseFigures figures = ComputeFigures(final.cpu, final.fpu, final.sd);
    const LevelResult level = GradeRun(final.cpu, final.fpu, final.sd);
    std::printf("run: %lu ms; loops CPU %llu, FPU %llu, SD %llu; figures CPU=%ld FPU=%ld SD=%ld; "
                "score %ld, level %ld.%02ld\n",
                static_cast<unsigned long>(elapsed), static_cast<unsigned long long>(final.cpu),
                static_cast<unsigned long long>(final.fpu), static_cast<unsigned long long>(final.sd),
                static_cast<long>(figures.cpu), static_cast<long>(figures.fpu),
                static_cast<long>(figures.sd), static_cast<long>(level.score),
                static_cast<long>(level.band - 1), static_cast<long>(level.fraction));
    CloseHandle(worker);
}

}  // namespace
