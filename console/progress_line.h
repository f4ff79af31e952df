// The progress line on a terminal: the seconds left and the live figures,
// redrawn in place with a carriage return only (no escape codes, which the
// consoles of older Windows do not know).
//
// After each drawing the cursor waits at the start of the line, so that
// anything else written to the terminal meanwhile (a line from the platform
// about the scratch file, the ^C the terminal echoes) starts there and
// covers the progress instead of running on after it.
#pragma once

#include "grading.h"

#include <windows.h>

#include <cstddef>

struct ProgressLine {
    std::size_t shownLength;  // characters on the terminal's line, 0 if none
};

// Which of several runs is going on; the line names it only if there are
// several: "run 2 of 5  9 s left  CPU=...".
struct RunOrdinal {
    int run;  // from 1
    int runs;
};

void DrawProgressLine(ProgressLine& line, RunOrdinal ordinal, DWORD secondsLeft, const PhaseFigures& figures);

// Leaves the line blank, the cursor at its start.
void EraseProgressLine(ProgressLine& line);
