// Measures the benchmark's own integer and floating-point loops against
// reference loops with the same body, the same tick read, the same stack
// offset and a page laid out the same (reference_loops.h), in the same
// process, so that the product's loops are shown to cost no more than the
// work they are meant to measure; and what one tick read costs, as the loops
// make it.
//
//   loop_benchmark        (about 60 s)
//
// Each loop runs in slices of half a second, the product's and the
// reference's one after the other, round after round: the load of a shared
// or virtual machine drifts by more than the loops could differ, and two
// slices side by side meet nearly the same load. Each round's ratio counts;
// the median of the rounds is printed. A ratio near 1 means the product's
// loops cost what their fixed body costs and nothing more.
#include "bench_state.h"
#include "measured_loops.h"
#include "reference_loops.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <vector>

// The references' own page: no other thread reads it.
MeasuredPage ReferenceMemory{{}, {1, 2, 3}, {1.0, 2.0, 3.0}};

namespace {

constexpr DWORD SLICE_MS = 500;
constexpr int ROUNDS = 15;

using Loop = void (*)(DWORD start, TickReader readTick);

// Runs `loop`, whose deadline lies `endMs` after its start, for about a
// slice, by starting it as if `endMs - SLICE_MS` had passed already; returns
// its nanoseconds a loop.
double Slice(Loop loop, DWORD endMs, LoopCounter& counter)
{
    StoreCount(counter, 0);
    const auto before = std::chrono::steady_clock::now();
    loop(GetTickCount() - (endMs - SLICE_MS), GetTickCount);
    const std::chrono::duration<double, std::nano> took = std::chrono::steady_clock::now() - before;
    return took.count() / static_cast<double>(ReadCount(counter));
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Pair {
    const char* name;
    Loop ours;
    LoopCounter& ourCounter;
    DWORD ourEnd;
    Loop reference;
};

struct Samples {
    std::vector<double> oursNs, referenceNs, ratios;
};

}  // namespace

int main()
{
    Pair pairs[] = {{"integer", RunIntegerPhase, BenchState.cpuLoops, INT_PHASE_END_MS, ReferenceIntegerLoop},
                    {"floating-point", RunRealPhase, BenchState.fpuLoops, REAL_PHASE_END_MS, ReferenceRealLoop}};
    Samples samples[std::size(pairs)];
    std::vector<double> tickReads;
    LoopCounter& referenceCounter = ReferenceMemory.state.cpuLoops;
    for (int round = 0; round < ROUNDS; ++round) {
        for (std::size_t i = 0; i < std::size(pairs); ++i) {
            Samples& taken = samples[i];
            taken.oursNs.push_back(Slice(pairs[i].ours, pairs[i].ourEnd, pairs[i].ourCounter));
            taken.referenceNs.push_back(Slice(pairs[i].reference, REFERENCE_LOOP_MS, referenceCounter));
            taken.ratios.push_back(taken.referenceNs.back() / taken.oursNs.back());
        }
        tickReads.push_back(Slice(ReferenceTickReads, REFERENCE_LOOP_MS, referenceCounter));
        std::fprintf(stderr, "round %d of %d done\n", round + 1, ROUNDS);
    }
    std::printf("%-14s %6.2f ns a loop of one tick read and its counter (median of %d slices)\n", "tick read",
                Median(tickReads), ROUNDS);
    for (std::size_t i = 0; i < std::size(pairs); ++i) {
        const Samples& taken = samples[i];
        std::printf("%-14s ours %6.2f ns/loop  reference %6.2f ns/loop  (medians; rounds' ratios %.3f to %.3f)"
                    "  ratio ours/reference %.3f\n",
                    pairs[i].name, Median(taken.oursNs), Median(taken.referenceNs),
                    *std::min_element(taken.ratios.begin(), taken.ratios.end()),
                    *std::max_element(taken.ratios.begin(), taken.ratios.end()), Median(taken.ratios));
    }
    return 0;
}
