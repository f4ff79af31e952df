// Several runs, one after another, each measured in a fresh process of its
// own: this program started again as a child (run_records.h), so that no
// run inherits anything of another's. This process measures nothing; it
// shows the running child's progress, naming the run, and prints the
// median run's results with the spread of all (runs_summary.h).
#pragma once

// `count` is 2 to MOST_RUNS. Ends the process.
[[noreturn]] void MeasureInFreshProcesses(int count, bool json, const char* version);
