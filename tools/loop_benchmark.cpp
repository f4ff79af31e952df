// Measures the benchmark's own integer and floating-point loops against a
// minimal reference loop with the same body and the same tick source, in the
// same process, so that the product's loops are shown to cost no more than
// the work they are meant to measure.
//
//   loop_benchmark        (about 35 s: references, one real run, references)
//
// A ratio near 1 means the product's loops cost what their fixed body costs
// and nothing more.
#include "bench_state.h"

#include <cstdint>
#include <cstdio>

namespace {

// The reference: the same body written as plainly as it can be, with its own
// process-wide counter and work values, loaded and stored every loop as the
// product's must be, but with no shared record, atomics or phase structure.
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

void Report(const char* phase, std::uint32_t ours, std::uint32_t reference, DWORD ms)
{
    const double oursNs = ms * 1e6 / ours, referenceNs = ms * 1e6 / reference;
    std::printf("%-14s ours %8.2f ns/loop (%u loops)  reference %8.2f ns/loop (%u loops)  "
                "ratio ours/reference %.3f\n",
                phase, oursNs, ours, referenceNs, reference, static_cast<double>(ours) / reference);
}

}  // namespace

int main()
{
    // References run before and after the product's run and are averaged,
    // so that a change of machine load during the run shows as a gap
    // between the two rather than as a false ratio.
    const DWORD phase = REAL_PHASE_END_MS - INT_PHASE_END_MS;
    const std::uint32_t intBefore = ReferenceIntLoops(phase);
    const std::uint32_t realBefore = ReferenceRealLoops(phase);

    // The product's loops: one whole run of the worker on this thread (the
    // storage phase included, so the scratch file is written as usual).
    BenchThreadProc(nullptr);
    const std::uint32_t oursInt = static_cast<std::uint32_t>(BenchState.cpuLoops.load());
    const std::uint32_t oursReal = static_cast<std::uint32_t>(BenchState.fpuLoops.load());

    const std::uint32_t intAfter = ReferenceIntLoops(phase);
    const std::uint32_t realAfter = ReferenceRealLoops(phase);
    std::printf("reference loops before/after the run: integer %u/%u, floating-point %u/%u\n",
                intBefore, intAfter, realBefore, realAfter);
    Report("integer", oursInt, static_cast<std::uint32_t>((std::uint64_t{intBefore} + intAfter) / 2), phase);
    Report("floating-point", oursReal, static_cast<std::uint32_t>((std::uint64_t{realBefore} + realAfter) / 2), phase);
    return 0;
}
