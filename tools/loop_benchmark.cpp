// Measures the benchmark's own integer and floating-point loops against a
// minimal reference loop with the same body and the same tick source, in the
// same process, so that the product's loops are shown to cost no more than
// the work they are meant to measure.
//
//   loop_benchmark        (about 80 s: five rounds of references and a real run)
//
// A ratio near 1 means the product's loops cost what their fixed body costs
// and nothing more.
#include "bench_state.h"

#include <cstdint>
#include <cstdio>
#include <thread>

namespace {

// The reference: the same body written as plainly as it can be, with its own
// process-wide 32-bit counter and work values, loaded and stored every loop as
// the product's must be, but with no shared record, atomics, carry into a
// high word or phase structure. It runs for 2 s, not 5, so that its 32-bit
// count cannot wrap on a machine up to twice as fast as ours (0.7 ns a loop).
constexpr DWORD REFERENCE_MS = 2000;
volatile std::uint32_t referenceLoops;
volatile std::uint32_t refA = 1, refB = 2, refC = 3;
volatile double refX = 1.0, refY = 2.0, refZ = 3.0;

std::uint32_t ReferenceIntLoops()
{
    referenceLoops = 0;
    const DWORD start = GetTickCount();
    do {
        referenceLoops = referenceLoops + 1;
        const std::uint32_t a = refA, b = refB, c = refC;
        refA = a * b;
        refB = b + c;
        refC = a + b;
    } while (GetTickCount() - start < REFERENCE_MS);
    return referenceLoops;
}

std::uint32_t ReferenceRealLoops()
{
    referenceLoops = 0;
    const DWORD start = GetTickCount();
    do {
        referenceLoops = referenceLoops + 1;
        const double x = refX, y = refY, z = refZ;
        refX = x * y;
        refY = y + z;
        refZ = x + y;
    } while (GetTickCount() - start < REFERENCE_MS);
    return referenceLoops;
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

// Runs `work` on a thread of its own. Each thread's stack lies elsewhere, so
// that no loop's best round hangs on where the return address of the tick
// call happens to fall against the loop's data: run on the main thread, the
// reference loop was 35 % slower here, and the same in every round.
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
    Rounds intReference, realReference, intOurs, realOurs;
    for (int round = 0; round < ROUNDS; ++round) {
        OnFreshThread([&] { intReference.Add(ReferenceIntLoops(), REFERENCE_MS); });
        OnFreshThread([&] { realReference.Add(ReferenceRealLoops(), REFERENCE_MS); });
        ResetRun();
        OnFreshThread([] { BenchThreadProc(nullptr); });
        intOurs.Add(ReadCount(BenchState.cpuLoops), PHASE_MS);
        realOurs.Add(ReadCount(BenchState.fpuLoops), PHASE_MS);
        std::fprintf(stderr, "round %d of %d done\n", round + 1, ROUNDS);
    }
    Report("integer", intOurs, intReference);
    Report("floating-point", realOurs, realReference);
    return 0;
}
