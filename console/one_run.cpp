// This thread shows the seconds left and the live figures on stderr when
// that is a terminal, and prints the graded results on stdout once the run
// is whole. As a child measuring for another process it shows nothing and
// sends that process records instead; it gives up once they can no longer
// be sent, since nobody is left to want the run.
#include "one_run.h"

#include "bench_state.h"
#include "console_control.h"
#include "countdown.h"
#include "progress_line.h"
#include "run_records.h"
#include "run_report.h"

#include <windows.h>

#include <cstdio>

namespace {

RunRecord CountsSoFar(RunRecordKind kind, DWORD secondsLeft)
{
    return {kind, secondsLeft, ReadCount(BenchState.cpuLoops), ReadCount(BenchState.fpuLoops),
            ReadCount(BenchState.sdWrites)};
}

// Sends a record to the parent; ends the process if it is gone.
void SendRecord(const RunRecord& record)
{
    TextBuffer line{};
    AppendRunRecord(line, record);
    std::fwrite(line.text, 1, line.length, stdout);
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        ExitProcess(EXIT_FAILED);
    }
}

void ShowProgress(ResultsForm form)
{
    const DWORD startTick = BenchState.startTick.load(std::memory_order_relaxed);
    if (startTick == 0 || !TryOutputTurn(OUTPUT_DRAWING)) {
        return;  // the worker has not read its start yet, or the process is ending
    }
    // As the countdown screen shows it: past the end, while the last write
    // is still going, 0.
    const DWORD seconds = CountdownSeconds(startTick, GetTickCount());
    const DWORD shown = seconds > LONGEST_COUNTDOWN_SECONDS ? 0 : seconds;
    const RunRecord counts = CountsSoFar(RECORD_LIVE, shown);
    if (form == RESULTS_RECORDS) {
        SendRecord(counts);
    } else {
        DrawProgressLine(TheProgressLine(), {1, 1}, shown,
                         ComputeFigures(counts.cpuLoops, counts.fpuLoops, counts.sdWrites));
    }
    GiveOutputTurnBack();
}

}  // namespace

void MeasureHere(ResultsForm form, const char* version)
{
    HandleControlEvents(form != RESULTS_RECORDS && StderrIsTerminal());
    // The handle is neither kept nor closed, as under the window.
    if (CreateThread(nullptr, 0, BenchThreadProc, nullptr, 0, nullptr) == nullptr) {
        std::fprintf(stderr, "%s: cannot start the measurement: no thread could be made\n", PROGRAM_NAME);
        ExitProcess(EXIT_FAILED);
    }
    // Acquire: once the worker is seen finished, its final counts are too.
    while (BenchState.running.load(std::memory_order_acquire)) {
        if (ShowsProgress() || form == RESULTS_RECORDS) {
            ShowProgress(form);
        }
        Sleep(WATCH_PERIOD_MS);
    }
    WaitForOutputTurn(OUTPUT_REPORTING);
    if (ShowsProgress()) {
        EraseProgressLine(TheProgressLine());
    }
    const RunRecord counts = CountsSoFar(RECORD_COUNTS, 0);
    if (form == RESULTS_RECORDS) {
        SendRecord(counts);
        ExitProcess(EXIT_WHOLE_RUN);
    }
    const RunReport report = ReportRun(counts.cpuLoops, counts.fpuLoops, counts.sdWrites);
    TextBuffer results{};
    if (form == RESULTS_JSON) {
        AppendReportJson(results, report, version);
    } else {
        AppendReportText(results, report);
    }
    std::fwrite(results.text, 1, results.length, stdout);
    // ExitProcess: the worker's thread may not have returned yet.
    ExitProcess(Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED);
}
