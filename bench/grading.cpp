#include "grading.h"

#include "plain_doubles.h"

#include <cstdint>
#include <limits>

namespace {

struct Band {
    std::int32_t lowest;  // the band's base score
    std::int32_t width;
};

// Rows in band order; the last is open-ended.
constexpr Band BANDS[] = {{0, 900}, {900, 300}, {1200, 500}, {1700, 700}, {2400, 900}, {3300, 1200}};
constexpr std::int32_t BAND_COUNT = sizeof BANDS / sizeof BANDS[0];

constexpr std::int32_t LARGEST = std::numeric_limits<std::int32_t>::max();

std::int32_t SaturatedQuotient(std::uint64_t count, std::uint32_t divisor)
{
    const std::uint64_t quotient = count / divisor;
    return quotient > static_cast<std::uint64_t>(LARGEST) ? LARGEST : static_cast<std::int32_t>(quotient);
}

// The score before truncation. The order of operations is part of the
// result: keep it. Counts convert to double exactly up to 2^53, and any
// count beyond that gives a score far past what an int32 holds, so the
// result saturates either way. Kept apart (noipa) so that the compiler
// cannot move the arithmetic out from between the floating-point settings.
[[gnu::noipa]] double Score(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites)
{
    const double t1 = (static_cast<double>(fpuLoops) * FPU_WEIGHT) / FPU_FIGURE_DIVISOR;
    const double t2 = (static_cast<double>(cpuLoops) * CPU_WEIGHT) / CPU_FIGURE_DIVISOR;
    double s = t1 + t2;
    const double t3 = (static_cast<double>(sdWrites) * SD_WEIGHT) / SD_FIGURE_DIVISOR;
    s = s + t3;
    return s;
}

}  // namespace

PhaseFigures ComputeFigures(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites)
{
    return {SaturatedQuotient(cpuLoops, CPU_FIGURE_DIVISOR), SaturatedQuotient(fpuLoops, FPU_FIGURE_DIVISOR),
            SaturatedQuotient(sdWrites, SD_FIGURE_DIVISOR)};
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

LevelResult GradeRun(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites)
{
    const SavedFloatingPoint saved = UsePlainDoubles();
    const double s = Score(cpuLoops, fpuLoops, sdWrites);
    RestoreFloatingPoint(saved);
    // Never negative: the counts are unsigned.
    const std::int32_t score = s >= 2147483648.0 ? LARGEST : static_cast<std::int32_t>(s);
    return GradeScore(score);
}
