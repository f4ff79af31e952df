// Measures the benchmark's own integer and floating-point loops against a
// minimal reference loop with the same body and the same tick source, in the
// same process, so that the product's loops are shown to cost no more than
// the work they are meant to measure.
//
//   loop_benchmark        (about 35 s: references, one real run, references)
//
// The reference keeps its counter and work values in plain locals that the
// compiler may hold in registers; ours keeps them in BenchState/IntWork/
// RealWork, loaded and stored every loop. A ratio near 1 means the tick read
// dominates and our memory traffic is free.
#include "bench_state.h"

#include <cstdint>
#include <cstdio>

namespace {

volatile std::uint32_t sink;  // keeps the reference's results alive
volatile double realSink;

// Reference loops: the same arithmetic and the same deadline test.
std::uint32_t ReferenceIntLoops(DWORD limit)
{
    const DWORD start = GetTickCount();
    std::uint32_t loops = 0, a = 1, b = 2, c = 3;
    do {
        ++loops;
        const std::uint32_t na = a * b, nb = b + c, nc = a + b;
        a = na, b = nb, c = nc;
    } while (GetTickCount() - start < limit);
    sink = a + b + c;
    return loops;
}

std::uint32_t ReferenceRealLoops(DWORD limit)
{
    const DWORD start = GetTickCount();
    std::uint32_t loops = 0;
    double x = 1.0, y = 2.0, z = 3.0;
    do {
        ++loops;
        const double nx = x * y, ny = y + z, nz = x + y;
        x = nx, y = ny, z = nz;
    } while (GetTickCount() - start < limit);
    realSink = x + y + z;
    return loops;
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
