// Measures the benchmark's own integer and floating-point loops against
// reference loops with the same body, the same tick read, the same stack
// offset and a page laid out the same (reference_loops.h), in the same
// process, so that the product's loops are shown to cost no more than the
// work they are meant to measure; and what one tick read costs, as the loops
// make it.
//
//   loop_benchmark        (about 80 s: five rounds of references and a real run)
//
// A ratio near 1 means the product's loops cost what their fixed body costs
// and nothing more.
#include "bench_state.h"
#include "reference_loops.h"

#include <cstdint>
#include <cstdio>
#include <thread>

// The references' own page: no other thread reads it.
MeasuredPage ReferenceMemory{{}, {1, 2, 3}, {1.0, 2.0, 3.0}};

namespace {

constexpr DWORD REFERENCE_MS = REFERENCE_LOOP_MS;

std::uint32_t ReferenceLoops(void (*loop)(DWORD, TickReader))
{
    StoreCount(ReferenceMemory.state.cpuLoops, 0);
    loop(GetTickCount(), GetTickCount);
    return ReferenceMemory.state.cpuLoops.low.load(std::memory_order_relaxed);
}

// Loops a millisecond, best and worst of the rounds: other work on the
// machine only ever takes loops away, so the best round is the loop's own
// cost, and the spread shows how much the machine disturbed the rest.
struct Rounds {
    double best = 0, worst = 1e300;
    void Add(std::uint64_t loops, DWORD ms)
    {
        const double rate = static_cast<double>(loops) / ms;
        best = rate > best ? rate : best;
        worst = rate < worst ? rate : worst;
    }
};

void ReportTickRead(const Rounds& reads)
{
    std::printf("%-14s %6.2f ns a loop of one tick read and its counter (worst round %6.2f)\n", "tick read",
                1e6 / reads.best, 1e6 / reads.worst);
}

void Report(const char* phase, const Rounds& ours, const Rounds& reference)
{
    std::printf("%-14s ours %6.2f ns/loop (worst round %6.2f)  reference %6.2f ns/loop (worst %6.2f)"
                "  ratio ours/reference %.3f\n",
                phase, 1e6 / ours.best, 1e6 / ours.worst, 1e6 / reference.best, 1e6 / reference.worst,
                ours.best / reference.best);
}

// The worker's record as at process start, so that it can run again.
void ResetRun()
{
    BenchState.startTick.store(0, std::memory_order_relaxed);
    StoreCount(BenchState.cpuLoops, 0);
    StoreCount(BenchState.fpuLoops, 0);
    StoreCount(BenchState.sdWrites, 0);
    BenchState.running.store(true, std::memory_order_relaxed);
}

// Runs `work` on a thread of its own, as the worker runs.
template <class Work>
void OnFreshThread(Work work)
{
    std::thread(work).join();
}

constexpr int ROUNDS = 5;
constexpr DWORD PHASE_MS = REAL_PHASE_END_MS - INT_PHASE_END_MS;

}  // namespace

int main()
{
    // Rounds alternate the references with one whole run of the worker (the
    // storage phase included, so the scratch file is written as usual), so
    // that a change of machine load hits both alike.
    Rounds intReference, realReference, tickReads, intOurs, realOurs;
    for (int round = 0; round < ROUNDS; ++round) {
        OnFreshThread([&] { intReference.Add(ReferenceLoops(ReferenceIntegerLoop), REFERENCE_MS); });
        OnFreshThread([&] { realReference.Add(ReferenceLoops(ReferenceRealLoop), REFERENCE_MS); });
        OnFreshThread([&] { tickReads.Add(ReferenceLoops(ReferenceTickReads), REFERENCE_MS); });
        ResetRun();
        OnFreshThread([] { BenchThreadProc(nullptr); });
        intOurs.Add(ReadCount(BenchState.cpuLoops), PHASE_MS);
        realOurs.Add(ReadCount(BenchState.fpuLoops), PHASE_MS);
        std::fprintf(stderr, "round %d of %d done\n", round + 1, ROUNDS);
    }
    ReportTickRead(tickReads);
    Report("integer", intOurs, intReference);
    Report("floating-point", realOurs, realReference);
    return 0;
}
