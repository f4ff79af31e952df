#include "run_report.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

std::string Json(std::uint64_t cpu, std::uint64_t fpu, std::uint64_t sd)
{
    TextBuffer buffer{};
    AppendReportJson(buffer, ReportRun(cpu, fpu, sd), "9.8.7");
    return std::string(buffer.text, buffer.length);
}

TEST(RunReport, JsonHoldsTheGradeTheFiguresAndEveryDigitOfTheCounts)
{
    struct Row {
        std::uint64_t cpu, fpu, sd;
        const char* json;
    } rows[] = {
        {0, 0, 0,
         R"({"level": "0.00", "score": 0, "band": 1, "fraction": 0, "cpu": 0, "fpu": 0, "sd": 0, )"
         R"("cpu_loops": 0, "fpu_loops": 0, "sd_writes": 0, "version": "9.8.7"})"},
        // A fraction below 10 keeps its leading zero.
        {4785625, 0, 0,
         R"({"level": "2.07", "score": 1235, "band": 3, "fraction": 7, "cpu": 154, "fpu": 0, "sd": 0, )"
         R"("cpu_loops": 4785625, "fpu_loops": 0, "sd_writes": 0, "version": "9.8.7"})"},
        {5000000000, 4294994596, 4294967297,
         R"({"level": "5.99", "score": 1719403102, "band": 6, "fraction": 99, "cpu": 161290, )"
         R"("fpu": 157325, "sd": 429496729, "cpu_loops": 5000000000, "fpu_loops": 4294994596, )"
         R"("sd_writes": 4294967297, "version": "9.8.7"})"},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(Json(row.cpu, row.fpu, row.sd), std::string(row.json) + "\n") << row.cpu;
    }
}

TEST(RunReport, TextNamesTheLevelAndEachFigure)
{
    TextBuffer buffer{};
    AppendReportText(buffer, ReportRun(3100000, 2730000, 500));
    EXPECT_EQ(std::string(buffer.text, buffer.length),
              "Device level: 1.60\n"
              "CPU figure: 100 (integer arithmetic)\n"
              "FPU figure: 100 (floating-point arithmetic)\n"
              "SD figure: 50 (scratch file writes)\n");
}

}  // namespace
