#include "run_report.h"

namespace {

// The level as the results screen reads it: the picture's digit, then the
// fraction's two digits.
void AppendLevel(TextBuffer& buffer, const LevelResult& level)
{
    AppendNumber(buffer, static_cast<std::uint64_t>(level.band - 1));
    AppendText(buffer, level.fraction < 10 ? ".0" : ".");
    AppendNumber(buffer, static_cast<std::uint64_t>(level.fraction));
}

struct FigureLine {
    const char* label;
    std::int32_t figure;
    const char* what;
    const FigureRange* range;  // nullptr for one run
};

struct JsonNumber {
    const char* key;
    std::uint64_t value;
};

// `value` over 10^decimals, with every decimal: the spread's thousandths
// 305 are "0.305" with 3 decimals (a fraction) and "30.5" with 1 (percent).
void AppendDecimal(TextBuffer& buffer, std::uint32_t value, int decimals)
{
    std::uint32_t unit = 1;
    for (int i = 0; i < decimals; ++i) {
        unit *= 10;
    }
    AppendNumber(buffer, value / unit);
    AppendText(buffer, ".");
    for (std::uint32_t digit = unit / 10; digit > 0; digit /= 10) {
        AppendNumber(buffer, value / digit % 10);
    }
}

void AppendFigureLines(TextBuffer& buffer, const RunReport& report, const FigureRange* ranges, int runCount)
{
    AppendText(buffer, "Device level: ");
    AppendLevel(buffer, report.level);
    AppendText(buffer, "\n");
    const FigureLine lines[] = {{"CPU", report.figures.cpu, "integer arithmetic", ranges ? &ranges[0] : nullptr},
                                {"FPU", report.figures.fpu, "floating-point arithmetic", ranges ? &ranges[1] : nullptr},
                                {"SD", report.figures.sd, "scratch file writes", ranges ? &ranges[2] : nullptr}};
    for (const FigureLine& line : lines) {
        AppendText(buffer, line.label);
        AppendText(buffer, " figure: ");
        AppendNumber(buffer, static_cast<std::uint64_t>(line.figure));
        AppendText(buffer, " (");
        AppendText(buffer, line.what);
        if (line.range != nullptr) {
            AppendText(buffer, "; ");
            AppendNumber(buffer, static_cast<std::uint64_t>(line.range->lowest));
            AppendText(buffer, " to ");
            AppendNumber(buffer, static_cast<std::uint64_t>(line.range->highest));
            AppendText(buffer, " over ");
            AppendNumber(buffer, static_cast<std::uint64_t>(runCount));
            AppendText(buffer, " runs, spread ");
            AppendDecimal(buffer, line.range->spreadThousandths, 1);
            AppendText(buffer, " %");
        }
        AppendText(buffer, ")\n");
    }
}

// "level": "5.99", ..., "sd_writes": N: every member but the version.
void AppendJsonMembers(TextBuffer& buffer, const RunReport& report)
{
    AppendText(buffer, "\"level\": \"");
    AppendLevel(buffer, report.level);
    AppendText(buffer, "\"");
    // Figures, score, band and fraction are never negative: the counts are
    // unsigned.
    const JsonNumber numbers[] = {
        {"score", static_cast<std::uint64_t>(report.level.score)},
        {"band", static_cast<std::uint64_t>(report.level.band)},
        {"fraction", static_cast<std::uint64_t>(report.level.fraction)},
        {"cpu", static_cast<std::uint64_t>(report.figures.cpu)},
        {"fpu", static_cast<std::uint64_t>(report.figures.fpu)},
        {"sd", static_cast<std::uint64_t>(report.figures.sd)},
        {"cpu_loops", report.cpuLoops},
        {"fpu_loops", report.fpuLoops},
        {"sd_writes", report.sdWrites},
    };
    for (const JsonNumber& number : numbers) {
        AppendText(buffer, ", \"");
        AppendText(buffer, number.key);
        AppendText(buffer, "\": ");
        AppendNumber(buffer, number.value);
    }
}

// The version is the project's own: digits and dots, nothing to escape.
void AppendJsonVersion(TextBuffer& buffer, const char* version)
{
    AppendText(buffer, ", \"version\": \"");
    AppendText(buffer, version);
    AppendText(buffer, "\"");
}

}  // namespace

RunReport ReportRun(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites)
{
    return {cpuLoops, fpuLoops, sdWrites, ComputeFigures(cpuLoops, fpuLoops, sdWrites),
            GradeRun(cpuLoops, fpuLoops, sdWrites)};
}

void AppendReportText(TextBuffer& buffer, const RunReport& report)
{
    AppendFigureLines(buffer, report, nullptr, 1);
}

void AppendReportJson(TextBuffer& buffer, const RunReport& report, const char* version)
{
    AppendText(buffer, "{");
    AppendJsonMembers(buffer, report);
    AppendJsonVersion(buffer, version);
    AppendText(buffer, "}\n");
}

void AppendRunsText(TextBuffer& buffer, const RunsResults& results)
{
    const FigureRange ranges[] = {results.cpu, results.fpu, results.sd};
    AppendFigureLines(buffer, results.runs[results.median], ranges, results.count);
}

int RunsJsonPieces(const RunsResults& results)
{
    return results.count + 2;
}

void AppendRunsJsonPiece(TextBuffer& buffer, const RunsResults& results, int piece, const char* version)
{
    if (piece == 0) {
        AppendText(buffer, "{");
        AppendJsonMembers(buffer, results.runs[results.median]);
        AppendJsonVersion(buffer, version);
        AppendText(buffer, ", \"runs\": [");
    } else if (piece <= results.count) {
        AppendText(buffer, piece == 1 ? "{" : ", {");
        AppendJsonMembers(buffer, results.runs[piece - 1]);
        AppendText(buffer, "}");
    } else {
        const JsonNumber spreads[] = {{"cpu", results.cpu.spreadThousandths},
                                      {"fpu", results.fpu.spreadThousandths},
                                      {"sd", results.sd.spreadThousandths}};
        AppendText(buffer, "], \"spread\": {");
        for (const JsonNumber& spread : spreads) {
            AppendText(buffer, &spread == spreads ? "\"" : ", \"");
            AppendText(buffer, spread.key);
            AppendText(buffer, "\": ");
            AppendDecimal(buffer, static_cast<std::uint32_t>(spread.value), 3);
        }
        AppendText(buffer, "}}\n");
    }
}
