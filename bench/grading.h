// Turns a run's three loop counts into the figures shown on screen, a score
// and a device level 0.00 to 5.99 (band 1..6 gives the whole part, fraction
// the hundredths).
//
// The counts are 64-bit: a fast device counts more than 2^32 integer loops in
// one phase. Figures and the score stay signed 32-bit; a value past what they
// hold (never reached below 2^40 loops) is shown as the largest one.
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

// A figure is its count divided by these; the score weighs each figure unit
// (fractions included) by the weight beside it.
constexpr std::uint32_t CPU_FIGURE_DIVISOR = 31000;
constexpr std::uint32_t FPU_FIGURE_DIVISOR = 27300;
constexpr std::uint32_t SD_FIGURE_DIVISOR = 10;
constexpr double CPU_WEIGHT = 8.0;
constexpr double FPU_WEIGHT = 0.8;
constexpr double SD_WEIGHT = 4.0;

PhaseFigures ComputeFigures(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites);

// Computed in IEEE double precision, rounding to nearest, whatever the
// caller's floating-point settings: the same counts give the same level on
// every build and processor.
LevelResult GradeRun(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites);

// Band and fraction of a score; exposed for its edge cases.
LevelResult GradeScore(std::int32_t score);
