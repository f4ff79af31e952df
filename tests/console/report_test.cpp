#include "run_records.h"
#include "run_report.h"
#include "runs_summary.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

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

// Runs that differ only where a row says: score, or the three figures.
std::vector<RunReport> Runs(std::vector<std::int32_t> scores, std::vector<PhaseFigures> figures = {})
{
    std::vector<RunReport> runs(scores.size() > figures.size() ? scores.size() : figures.size(), RunReport{});
    for (std::size_t i = 0; i < runs.size(); ++i) {
        runs[i].level.score = i < scores.size() ? scores[i] : 0;
        runs[i].figures = i < figures.size() ? figures[i] : PhaseFigures{};
    }
    return runs;
}

TEST(Runs, TheMedianRunIsTheMiddleByScoreTheLowerOfTwoAndTiesKeepTheirOrder)
{
    struct Row {
        std::vector<std::int32_t> scores;
        int median;
    } rows[] = {
        {{5}, 0},
        {{2, 1}, 1},
        {{3, 1, 2}, 2},
        {{40, 10, 30, 20}, 3},
        {{5, 7, 5, 7}, 2},
        {{9, 9, 9}, 1},
    };
    for (const Row& row : rows) {
        const std::vector<RunReport> runs = Runs(row.scores);
        EXPECT_EQ(MedianRun(runs.data(), static_cast<int>(runs.size())), row.median) << row.scores.size() << " runs";
    }
}

TEST(Runs, EachFiguresSpreadIsItsRangeOverItsHighestInRoundedThousandths)
{
    struct Row {
        std::vector<std::int32_t> cpu;
        std::int32_t lowest, highest;
        std::uint32_t thousandths;
    } rows[] = {
        {{53152, 66046, 59385, 69646, 60932, 48385}, 48385, 69646, 305},
        {{0, 0}, 0, 0, 0},  // SD 0 on every run: no spread
        {{0, 10}, 0, 10, 1000},
        {{2000, 1999}, 1999, 2000, 1},    // 0.0005 rounds up
        {{2001, 2000}, 2000, 2001, 0},    // 0.00049975 down
        {{2147483647, 0}, 0, 2147483647, 1000},
    };
    for (const Row& row : rows) {
        std::vector<PhaseFigures> figures;
        for (const std::int32_t cpu : row.cpu) {
            figures.push_back({cpu, 7, cpu / 2});
        }
        const std::vector<RunReport> runs = Runs({}, figures);
        const RunsResults results = SummarizeRuns(runs.data(), static_cast<int>(runs.size()));
        EXPECT_EQ(results.cpu.lowest, row.lowest) << row.cpu[0];
        EXPECT_EQ(results.cpu.highest, row.highest) << row.cpu[0];
        EXPECT_EQ(results.cpu.spreadThousandths, row.thousandths) << row.cpu[0];
        EXPECT_EQ(results.fpu.spreadThousandths, 0u);
    }
}

RunsResults TwoRuns(std::vector<RunReport>& runs)
{
    runs = {ReportRun(3100000, 2730000, 500), ReportRun(1550000, 2757300, 0)};
    return SummarizeRuns(runs.data(), 2);
}

TEST(Runs, TextIsTheMedianRunsWithEachFiguresRange)
{
    std::vector<RunReport> runs;
    TextBuffer buffer{};
    AppendRunsText(buffer, TwoRuns(runs));
    EXPECT_EQ(std::string(buffer.text, buffer.length),
              "Device level: 0.53\n"
              "CPU figure: 50 (integer arithmetic; 50 to 100 over 2 runs, spread 50.0 %)\n"
              "FPU figure: 101 (floating-point arithmetic; 100 to 101 over 2 runs, spread 1.0 %)\n"
              "SD figure: 0 (scratch file writes; 0 to 50 over 2 runs, spread 100.0 %)\n");
}

TEST(Runs, JsonIsTheMedianRunsObjectThenEveryRunsWithoutVersionThenTheSpreads)
{
    std::vector<RunReport> runs;
    const RunsResults results = TwoRuns(runs);
    std::string json;
    for (int piece = 0; piece < RunsJsonPieces(results); ++piece) {
        TextBuffer buffer{};
        AppendRunsJsonPiece(buffer, results, piece, "9.8.7");
        json.append(buffer.text, buffer.length);
    }
    const std::string second = R"("level": "0.53", "score": 480, "band": 1, "fraction": 53, "cpu": 50, "fpu": 101, )"
                               R"("sd": 0, "cpu_loops": 1550000, "fpu_loops": 2757300, "sd_writes": 0)";
    EXPECT_EQ(json, "{" + second + R"(, "version": "9.8.7", "runs": [{"level": "1.60", "score": 1080, "band": 2, )"
                        R"("fraction": 60, "cpu": 100, "fpu": 100, "sd": 50, "cpu_loops": 3100000, )"
                        R"("fpu_loops": 2730000, "sd_writes": 500}, {)" + second +
                        R"(}], "spread": {"cpu": 0.500, "fpu": 0.010, "sd": 1.000}})" "\n");
}

TEST(RunRecords, AChildsLinesReadBackAndAnythingElseIsUnknown)
{
    struct Row {
        const char* line;
        RunRecordKind kind;
        std::uint64_t seconds, cpu;
    } rows[] = {
        {"counts 5000000000 2 3", RECORD_COUNTS, 0, 5000000000},
        {"counts 1 2 3\r", RECORD_COUNTS, 0, 1},  // Windows' text mode
        {"live 9 4 5 6", RECORD_LIVE, 9, 4},
        {"counts 1 2", RECORD_UNKNOWN, 0, 0},
        {"counts 1 2 3 4", RECORD_UNKNOWN, 0, 0},
        {"counts -1 2 3", RECORD_UNKNOWN, 0, 0},
        {"counts 18446744073709551616 2 3", RECORD_UNKNOWN, 0, 0},
        {"countsx 1 2 3", RECORD_UNKNOWN, 0, 0},
        {"live 1 2 3", RECORD_UNKNOWN, 0, 0},
        {"", RECORD_UNKNOWN, 0, 0},
    };
    for (const Row& row : rows) {
        const RunRecord record = ReadRunRecord(row.line, std::strlen(row.line));
        EXPECT_EQ(record.kind, row.kind) << row.line;
        EXPECT_EQ(record.secondsLeft, row.seconds) << row.line;
        EXPECT_EQ(record.cpuLoops, row.cpu) << row.line;
    }
    TextBuffer sent{};
    AppendRunRecord(sent, {RECORD_COUNTS, 0, 5000000000, 2, 3});
    EXPECT_EQ(std::string(sent.text, sent.length), "counts 5000000000 2 3\n");
}

}  // namespace
