// One run of the benchmark worker on its own thread, watched from this one
// as the window thread watches it, without a window: prints the figures the
// results screen would show, and how long after its deadline each phase
// really ended, by this process's steady clock (CLOCK_MONOTONIC on Linux).
//
//   run_figures        (15 s; tools/performance.sh runs it on both builds,
//                       pinned to one processor, with and without a hog)
#include "bench_state.h"
#include "grading.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// Every millisecond around a deadline, to place a phase's end within one;
// seldom in between, so that the watcher's wake-ups cost the worker next to
// nothing when both share one processor.
constexpr auto WATCH_PERIOD_NEAR_DEADLINE = std::chrono::milliseconds(1);
constexpr auto WATCH_PERIOD = std::chrono::milliseconds(100);
constexpr double NEAR_DEADLINE_MS = 150;

struct Phase {
    const LoopCounter* counter;
    DWORD deadlineMs;
    std::uint64_t lastCount;
    Clock::time_point lastChange;
};

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

int main()
{
    const Clock::time_point started = Clock::now();
    HANDLE worker = CreateThread(nullptr, 0, BenchThreadProc, nullptr, 0, nullptr);
    if (worker == nullptr) {
        std::fprintf(stderr, "run_figures: cannot start the worker\n");
        return 1;
    }
    // A phase ended when its count last grew; the storage phase when the
    // worker said it was done.
    Phase phases[] = {{&BenchState.cpuLoops, INT_PHASE_END_MS, 0, started},
                      {&BenchState.fpuLoops, REAL_PHASE_END_MS, 0, started}};
    Clock::time_point finished;
    for (;;) {
        const bool running = BenchState.running.load(std::memory_order_acquire);
        const Clock::time_point now = Clock::now();
        for (Phase& phase : phases) {
            const std::uint64_t count = ReadCount(*phase.counter);
            if (count != phase.lastCount) {
                phase.lastCount = count;
                phase.lastChange = now;
            }
        }
        if (!running) {
            finished = now;
            break;
        }
        const double ms = MsBetween(started, now);
        bool nearDeadline = false;
        for (const DWORD deadline : {INT_PHASE_END_MS, REAL_PHASE_END_MS, STORAGE_PHASE_END_MS}) {
            nearDeadline |= ms > deadline - NEAR_DEADLINE_MS && ms < deadline + NEAR_DEADLINE_MS;
        }
        std::this_thread::sleep_for(nearDeadline ? WATCH_PERIOD_NEAR_DEADLINE : WATCH_PERIOD);
    }
    const std::uint64_t cpu = ReadCount(BenchState.cpuLoops);
    const std::uint64_t fpu = ReadCount(BenchState.fpuLoops);
    const std::uint64_t sd = ReadCount(BenchState.sdWrites);
    const PhaseFigures figures = ComputeFigures(cpu, fpu, sd);
    const LevelResult level = GradeRun(cpu, fpu, sd);
    std::printf("figures CPU=%ld FPU=%ld SD=%ld level %ld.%02ld (loops %llu %llu, writes %llu)\n",
                static_cast<long>(figures.cpu), static_cast<long>(figures.fpu), static_cast<long>(figures.sd),
                static_cast<long>(level.band - 1), static_cast<long>(level.fraction),
                static_cast<unsigned long long>(cpu), static_cast<unsigned long long>(fpu),
                static_cast<unsigned long long>(sd));
    // Measured from when the worker was started, a moment before it read
    // its start tick: to within a millisecond of the tick and one of the
    // watch.
    std::printf("phase ends after their deadlines (ms): integer %.1f floating-point %.1f storage %.1f\n",
                MsBetween(started, phases[0].lastChange) - phases[0].deadlineMs,
                MsBetween(started, phases[1].lastChange) - phases[1].deadlineMs,
                MsBetween(started, finished) - STORAGE_PHASE_END_MS);
    return 0;
}
