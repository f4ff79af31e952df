// Turns a run's three loop counts into the figures shown on screen, a score
// and a device level 0.00 to 5.99 (band 1..6 gives the whole part, fraction
// the hundredths).
//
// The counts are taken as unsigned 32-bit: the counters are 32-bit words that
// a fast device can drive past 2^31 in one phase, and read signed they would
// turn negative and grade the fastest devices 0.00.
#pragma once

#include <cstdint>

struct PhaseFigures {
    std::int32_t cpu;
    std::int32_t fpu;
    std::int32_t sd;
};

struct LevelResult {
    std::int32_t score;
    std::int32_t band;      // 1 to 6; band b shows the level digit b - 1
    std::int32_t fraction;  // 0 to 99
};

constexpr std::uint32_t CPU_FIGURE_DIVISOR = 31000;
constexpr std::uint32_t FPU_FIGURE_DIVISOR = 27300;
constexpr std::uint32_t SD_FIGURE_DIVISOR = 10;

PhaseFigures ComputeFigures(std::uint32_t cpuLoops, std::uint32_t fpuLoops, std::uint32_t sdWrites);
LevelResult GradeRun(std::uint32_t cpuLoops, std::uint32_t fpuLoops, std::uint32_t sdWrites);

// Band and fraction of a score; exposed for its edge cases.
LevelResult GradeScore(std::int32_t score);
