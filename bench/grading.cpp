// Grading is done in IEEE double arithmetic (53-bit, round to nearest, every
// intermediate rounded): the build uses SSE2 for doubles on i686 so that the
// x87's extended precision cannot move a score across a band edge.
#include "grading.h"

#include <cfloat>

static_assert(FLT_EVAL_METHOD == 0, "grading needs plain double evaluation (use SSE2 on i686)");

namespace {

struct Band {
    std::int32_t lowest;  // the band's base score
    std::int32_t width;
};

// Rows in band order; the last is open-ended.
constexpr Band BANDS[] = {{0, 900}, {900, 300}, {1200, 500}, {1700, 700}, {2400, 900}, {3300, 1200}};
constexpr std::int32_t BAND_COUNT = sizeof BANDS / sizeof BANDS[0];

}  // namespace

PhaseFigures ComputeFigures(std::uint32_t cpuLoops, std::uint32_t fpuLoops, std::uint32_t sdWrites)
{
    // Every quotient of an unsigned 32-bit count by these divisors fits int32.
    return {static_cast<std::int32_t>(cpuLoops / CPU_FIGURE_DIVISOR),
            static_cast<std::int32_t>(fpuLoops / FPU_FIGURE_DIVISOR),
            static_cast<std::int32_t>(sdWrites / SD_FIGURE_DIVISOR)};
}

LevelResult GradeScore(std::int32_t score)
{
    std::int32_t band = 1;
    while (band < BAND_COUNT && score >= BANDS[band].lowest) {
        ++band;
    }
    const Band& row = BANDS[band - 1];
    // 64-bit so that no score, however large, overflows the product.
    std::int64_t fraction = (static_cast<std::int64_t>(score) - row.lowest) * 100 / row.width;
    if (fraction > 99) {
        fraction = 99;
    } else if (fraction < 0) {
        fraction = 0;
    }
    return {score, band, static_cast<std::int32_t>(fraction)};
}

LevelResult GradeRun(std::uint32_t cpuLoops, std::uint32_t fpuLoops, std::uint32_t sdWrites)
{
    // The order of operations is part of the result: keep it.
    const double t1 = (static_cast<double>(fpuLoops) * 0.8) / 27300.0;
    const double t2 = (static_cast<double>(cpuLoops) * 8.0) / 31000.0;
    double s = t1 + t2;
    const double t3 = (static_cast<double>(sdWrites) * 4.0) / 10.0;
    s = s + t3;
    // At most about 1.72e9 (all three counts at 2^32 - 1): fits int32.
    return GradeScore(static_cast<std::int32_t>(s));
}
