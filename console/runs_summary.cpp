#include "runs_summary.h"

namespace {

FigureRange RangeOf(const RunReport runs[], int count, std::int32_t PhaseFigures::*figure)
{
    FigureRange range = {runs[0].figures.*figure, runs[0].figures.*figure, 0};
    for (int i = 1; i < count; ++i) {
        const std::int32_t value = runs[i].figures.*figure;
        range.lowest = value < range.lowest ? value : range.lowest;
        range.highest = value > range.highest ? value : range.highest;
    }
    // Figures are never negative, so the difference is below the highest;
    // the highest is below 2^31, so twice a thousand of it fits 64 bits.
    if (range.highest > 0) {
        const std::uint64_t difference = static_cast<std::uint64_t>(range.highest - range.lowest);
        const std::uint64_t highest = static_cast<std::uint64_t>(range.highest);
        range.spreadThousandths = static_cast<std::uint32_t>((difference * 2000 + highest) / (highest * 2));
    }
    return range;
}

}  // namespace

int MedianRun(const RunReport runs[], int count)
{
    // Run numbers by score, by insertion: stable, and few enough.
    int byScore[MOST_RUNS];
    for (int i = 0; i < count; ++i) {
        int at = i;
        for (; at > 0 && runs[byScore[at - 1]].level.score > runs[i].level.score; --at) {
            byScore[at] = byScore[at - 1];
        }
        byScore[at] = i;
    }
    return byScore[(count - 1) / 2];
}

RunsResults SummarizeRuns(const RunReport runs[], int count)
{
    return {runs,
            count,
            MedianRun(runs, count),
            RangeOf(runs, count, &PhaseFigures::cpu),
            RangeOf(runs, count, &PhaseFigures::fpu),
            RangeOf(runs, count, &PhaseFigures::sd)};
}
