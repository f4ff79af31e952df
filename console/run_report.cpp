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
};

struct JsonNumber {
    const char* key;
    std::uint64_t value;
};

}  // namespace

RunReport ReportRun(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites)
{
    return {cpuLoops, fpuLoops, sdWrites, ComputeFigures(cpuLoops, fpuLoops, sdWrites),
            GradeRun(cpuLoops, fpuLoops, sdWrites)};
}

void AppendReportText(TextBuffer& buffer, const RunReport& report)
{
    AppendText(buffer, "Device level: ");
    AppendLevel(buffer, report.level);
    AppendText(buffer, "\n");
    const FigureLine lines[] = {{"CPU", report.figures.cpu, "integer arithmetic"},
                                {"FPU", report.figures.fpu, "floating-point arithmetic"},
                                {"SD", report.figures.sd, "scratch file writes"}};
    for (const FigureLine& line : lines) {
        AppendText(buffer, line.label);
        AppendText(buffer, " figure: ");
        AppendNumber(buffer, static_cast<std::uint64_t>(line.figure));
        AppendText(buffer, " (");
        AppendText(buffer, line.what);
        AppendText(buffer, ")\n");
    }
}

void AppendReportJson(TextBuffer& buffer, const RunReport& report, const char* version)
{
    AppendText(buffer, "{\"level\": \"");
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
    // The version is the project's own: digits and dots, nothing to escape.
    AppendText(buffer, ", \"version\": \"");
    AppendText(buffer, version);
    AppendText(buffer, "\"}\n");
}
