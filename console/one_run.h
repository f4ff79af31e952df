// The measurement in this process, once, as the window program makes it:
// the worker on a thread of its own, watched from this one.
#pragma once

enum ResultsForm {
    RESULTS_TEXT,     // the level and the figures in words
    RESULTS_JSON,     // one JSON object
    RESULTS_RECORDS,  // as a child measuring one of several runs: run_records.h
};

// Ends the process once the results are out (or could not be).
[[noreturn]] void MeasureHere(ResultsForm form, const char* version);
