// The results of one whole run as the terminal program prints them: the
// device level and the three figures in words, or one JSON object that also
// holds the score and the counts.
#pragma once

#include "grading.h"
#include "text_buffer.h"

#include <cstdint>

struct RunReport {
    std::uint64_t cpuLoops;
    std::uint64_t fpuLoops;
    std::uint64_t sdWrites;
    PhaseFigures figures;
    LevelResult level;
};

// Grades the counts as the results screen does.
RunReport ReportRun(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites);

// "Device level: 5.99" and a line for each figure.
void AppendReportText(TextBuffer& buffer, const RunReport& report);

// One line: {"level": "5.99", "score": ..., "version": "..."}.
void AppendReportJson(TextBuffer& buffer, const RunReport& report, const char* version);
