// Grading: figures, score, band and fraction. Built for both targets so the
// Windows build proves it grades with plain IEEE doubles too.
#include "grading.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace {

struct ScoreCase {
    std::int32_t score;
    std::int32_t band;
    std::int32_t fraction;
};

TEST(GradeScore, BandEdgesAndFractionClamps)
{
    const ScoreCase cases[] = {
        {0, 1, 0},       {899, 1, 99},    {900, 2, 0},     {1199, 2, 99},   {1200, 3, 0},
        {1699, 3, 99},   {1700, 4, 0},    {2399, 4, 99},   {2400, 5, 0},    {3299, 5, 99},
        {3300, 6, 0},    {4487, 6, 98},   {4488, 6, 99},   {4500, 6, 99},   {4501, 6, 99},
        {1080, 2, 60},   {907, 2, 2},     {-1, 1, 0},      {INT32_MIN, 1, 0},
        {INT32_MAX, 6, 99},  // (score - base) * 100 needs more than 32 bits here
    };
    for (const ScoreCase& c : cases) {
        const LevelResult got = GradeScore(c.score);
        EXPECT_EQ(got.score, c.score);
        EXPECT_EQ(got.band, c.band) << "score " << c.score;
        EXPECT_EQ(got.fraction, c.fraction) << "score " << c.score;
    }
}

TEST(GradeRun, WorkedExampleShowsOnePointSixty)
{
    const PhaseFigures figures = ComputeFigures(3100000, 2730000, 500);
    EXPECT_EQ(figures.cpu, 100);
    EXPECT_EQ(figures.fpu, 100);
    EXPECT_EQ(figures.sd, 50);
    const LevelResult level = GradeRun(3100000, 2730000, 500);
    EXPECT_EQ(level.score, 1080);
    EXPECT_EQ(level.band, 2);
    EXPECT_EQ(level.fraction, 60);
}

TEST(GradeRun, ScoreUsesUnroundedQuotients)
{
    // 30,999 CPU loops show a figure of 0 but add 7.9997 points; 2 SD writes
    // add 0.8, so together they make 8, not 7.
    EXPECT_EQ(ComputeFigures(30999, 0, 0).cpu, 0);
    EXPECT_EQ(GradeRun(30999, 0, 0).score, 7);
    EXPECT_EQ(GradeRun(30999, 0, 2).score, 8);
    EXPECT_EQ(GradeRun(0, 0, 0).score, 0);
    EXPECT_EQ(GradeRun(0, 0, 0).band, 1);
}

struct CountsCase {
    std::uint32_t cpu, fpu, sd;
    std::int32_t score;
};

TEST(GradeRun, PlainDoubleArithmeticAtBandEdges)
{
    // Counts whose exact score is a band edge: IEEE double rounding of each
    // step lands just below it. Extended (x87) precision, or another order
    // of operations, gives the edge itself and the next band.
    const CountsCase cases[] = {
        {3485888u, 546u, 1u, 899},    {3484338u, 546u, 2u, 899},   {4646807u, 819u, 2u, 1199},
        {6584307u, 819u, 2u, 1699},   {9295319u, 273u, 3u, 2399},  {12782819u, 273u, 3u, 3299},
        {9145u, 8190u, 1u, 2},
    };
    for (const CountsCase& c : cases) {
        const LevelResult got = GradeRun(c.cpu, c.fpu, c.sd);
        EXPECT_EQ(got.score, c.score) << "counts " << c.cpu << ", " << c.fpu << ", " << c.sd;
    }
    // And whole-number scores from a single phase stay whole.
    EXPECT_EQ(GradeRun(3487500, 0, 0).score, 900);  // 3487500 * 8 / 31000 = 900 exactly
    EXPECT_EQ(GradeRun(3487499, 0, 0).score, 899);
    EXPECT_EQ(GradeRun(0, 341250, 0).score, 10);
    EXPECT_EQ(GradeRun(0, 0, 2250).score, 900);
}

TEST(GradeRun, CountsPastTwoToThe31ReadUnsigned)
{
    // A counter that passed 2,147,483,647 is still a huge count, not a
    // negative one: the fastest devices grade at the top, not at 0.00.
    const std::uint32_t wrapped = 0x80000000u;
    const PhaseFigures figures = ComputeFigures(wrapped, wrapped, 0);
    EXPECT_EQ(figures.cpu, 69273);  // 2147483648 / 31000
    EXPECT_EQ(figures.fpu, 78662);  // 2147483648 / 27300
    const LevelResult level = GradeRun(wrapped, 0, 0);
    EXPECT_EQ(level.score, 554189);  // 2147483648 * 8 / 31000 = 554189.32
    EXPECT_EQ(level.band, 6);
    EXPECT_EQ(level.fraction, 99);
}

TEST(GradeRun, ExtremeCountsStayDefined)
{
    const std::uint32_t most = 0xFFFFFFFFu;
    const PhaseFigures figures = ComputeFigures(most, most, most);
    EXPECT_EQ(figures.cpu, 138547);
    EXPECT_EQ(figures.fpu, 157324);
    EXPECT_EQ(figures.sd, 429496729);
    // 125859.85 + 1108378.66 + 1717986918.0, still within int32.
    const LevelResult level = GradeRun(most, most, most);
    EXPECT_EQ(level.score, 1719221156);
    EXPECT_EQ(level.band, 6);
    EXPECT_EQ(level.fraction, 99);
}

TEST(ComputeFigures, TruncatesTowardZero)
{
    const PhaseFigures figures = ComputeFigures(61999, 54599, 19);
    EXPECT_EQ(figures.cpu, 1);
    EXPECT_EQ(figures.fpu, 1);
    EXPECT_EQ(figures.sd, 1);
}

}  // namespace
