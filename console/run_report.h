// The results of a whole run as the terminal program prints them: the
// device level and the three figures in words, or one JSON object that also
// holds the score and the counts. Of several runs, the median run's, each
// figure with its range over the runs and their spread.
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

// One figure over several runs. The spread is (highest - lowest) / highest,
// in thousandths, rounded half up: 305 is 0.305, or 30.5 %.
struct FigureRange {
    std::int32_t lowest;
    std::int32_t highest;
    std::uint32_t spreadThousandths;
};

// Several runs, in the order they ran, and the one whose results stand for
// them all.
struct RunsResults {
    const RunReport* runs;
    int count;
    int median;
    FigureRange cpu;
    FigureRange fpu;
    FigureRange sd;
};

// Grades the counts as the results screen does.
RunReport ReportRun(std::uint64_t cpuLoops, std::uint64_t fpuLoops, std::uint64_t sdWrites);

// "Device level: 5.99" and a line for each figure.
void AppendReportText(TextBuffer& buffer, const RunReport& report);

// One line: {"level": "5.99", "score": ..., "version": "..."}.
void AppendReportJson(TextBuffer& buffer, const RunReport& report, const char* version);

// The median run's text, each figure's line ending with its range:
// "CPU figure: 60932 (integer arithmetic; 48385 to 69646 over 6 runs, spread 30.5 %)".
void AppendRunsText(TextBuffer& buffer, const RunsResults& results);

// The JSON of several runs: the median run's object with every member of
// AppendReportJson's, then "runs", each run's object without the version,
// and "spread", {"cpu": 0.305, ...}. It is longer than a TextBuffer holds,
// so it comes in RunsJsonPieces pieces, to be written one after the other.
int RunsJsonPieces(const RunsResults& results);
void AppendRunsJsonPiece(TextBuffer& buffer, const RunsResults& results, int piece, const char* version);
