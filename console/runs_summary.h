// Several runs summed up: the run that stands for them all, and how far
// apart their figures lie. Plain arithmetic over the runs' reports.
#pragma once

#include "run_report.h"

constexpr int MOST_RUNS = 99;

// The run whose score is the median: the middle one by score, and of an
// even number the lower of the two middle ones. Runs of the same score keep
// the order they ran in. Its figures and counts are shown as it gave them,
// never averaged with the others'. `count` is 1 to MOST_RUNS.
int MedianRun(const RunReport runs[], int count);

// The median, and each figure's lowest, highest and spread.
RunsResults SummarizeRuns(const RunReport runs[], int count);
