// Measures the benchmark's own integer and floating-point loops against a
// minimal reference loop with the same body and the same tick source, in the
// same process, so that the product's loops are shown to cost no more than
// the work they are meant to measure.
//
//   loop_benchmark        (about 75 s: three rounds of references and a real run)
//
// A ratio near 1 means the product's loops cost what their fixed body costs
// and nothing more.
#include "bench_state.h"

#include <cstdint>
#include <cstdio>

namespace {

// The reference: the same body written as plainly as it can be, with its own
// process-wide 32-bit counter and work values, loaded and stored every loop as
// the product's must be, but with no shared record, atomics, carry into a
// high word or phase structure.
volatile std::uint32_t referenceLoops;
volatile std::uint32_t refA = 1, refB = 2, refC = 3;
volatile double refX = 1.0, refY = 2.0, refZ = 3.0;

std::uint32_t ReferenceIntLoops(DWORD limit)
{
    referenceLoops = 0;
    const DWORD start = GetTickCount();
    do {
        referenceLoops = referenceLoops + 1;
        const std::uint32_t a = refA, b = refB, c = refC;
        refA = a * b;
        refB = b + c;
        refC = a + b;
    } while (GetTickCount() - start < limit);
    return referenceLoops;
}

std::uint32_t ReferenceRealLoops(DWORD limit)
{
    referenceLoops = 0;
    const DWORD start = GetTickCount();
    do {
        referenceLoops = referenceLoops + 1;
        const double x = refX, y = refY, z = refZ;
        refX = x * y;
        refY = y + z;
        refZ = x + y;
    } while (GetTickCount() - start < limit);
    return referenceLoops;
}

// Best and worst of the rounds: other work on the machine only ever takes
// loops away, so the best round is the loop's own cost, and the spread shows
// how much the machine disturbed the rest.
struct Rounds {
    std::uint32_t best = 0, worst = UINT32_MAX;
    void Add(std::uint32_t loops)
    {
        best = loops > best ? loops : best;
        worst = loops < worst ? loops : worst;
    }
};

void Report(const char* phase, const Rounds& ours, const Rounds& reference, DWORD ms)
{
    const double oursNs = ms * 1e6 / ours.best, referenceNs = ms * 1e6 / reference.best;
    std::printf("%-14s ours %6.2f ns/loop (best %u, worst %u loops)  reference %6.2f ns/loop "
                "(best %u, worst %u)  ratio ours/reference %.3f\n",
                phase, oursNs, ours.best, ours.worst, referenceNs, reference.best, reference.worst,
                static_cast<double>(ours.best) / reference.best);
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

constexpr int ROUNDS = 3;

}  // namespace

int main()
{
    // Rounds alternate the references with one whole run of the worker on
    // this thread (the storage phase included, so the scratch file is
    // written as usual), so that a change of machine load hits both alike.
    const DWORD phase = REAL_PHASE_END_MS - INT_PHASE_END_MS;
    Rounds intReference, realReference, intOurs, realOurs;
    for (int round = 0; round < ROUNDS; ++round) {
        intReference.Add(ReferenceIntLoops(phase));
        realReference.Add(ReferenceRealLoops(phase));
        ResetRun();
        BenchThreadProc(nullptr);
        // A 5-second phase stays far below 2^32 loops at the reference's
        // own rate, or the reference counter would have wrapped too.
        intOurs.Add(static_cast<std::uint32_t>(ReadCount(BenchState.cpuLoops)));
        realOurs.Add(static_cast<std::uint32_t>(ReadCount(BenchState.fpuLoops)));
        std::fprintf(stderr, "round %d of %d done\n", round + 1, ROUNDS);
    }
    Report("integer", intOurs, intReference, phase);
    Report("floating-point", realOurs, realReference, phase);
    return 0;
}
