// Each child's stdout is a pipe to this process, on which it sends its
// records, and so is its stderr, whose lines this process passes on once
// (child_messages.h); its stdin is this process's own. A child that sends
// nothing for a minute is stuck: it is ended, and so is the whole. A child
// stopped by Ctrl-C or a hang-up ends the whole as that event does; one
// that fails or gives no counts ends it with one line saying which run and
// why. Either way the results of the runs before are not printed: they
// would be the median of fewer runs than asked for.
#include "fresh_runs.h"

#include "child_messages.h"
#include "console_control.h"
#include "countdown.h"
#include "progress_line.h"
#include "run_records.h"
#include "run_report.h"
#include "runs_summary.h"

#include <windows.h>

#include <cstdio>

namespace {

// Every watch period from its start, a child sends a record.
constexpr DWORD MOST_QUIET_MS = 60000;
constexpr DWORD MOST_QUIET_PERIODS = MOST_QUIET_MS / WATCH_PERIOD_MS;
// What Windows gives a console process that Ctrl-C ends before it has a
// handler of its own.
constexpr DWORD CONTROL_C_EXIT_STATUS = 0xC000013A;

// This process's ends of a child's stdout and stderr, and the child's.
struct ChildPipes {
    HANDLE records;
    HANDLE messages;
    HANDLE childRecords;
    HANDLE childMessages;
};

struct RunWatch {
    RunOrdinal ordinal;
    RecordLines lines;
    bool gotCounts;
    RunReport report;
};

const char* ErrorMeaning(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND: return "no such file";
    case ERROR_ACCESS_DENIED: return "access denied";
    case ERROR_NOT_ENOUGH_MEMORY: return "not enough memory";
    case ERROR_TOO_MANY_OPEN_FILES: return "too many open files";
    case ERROR_BAD_EXE_FORMAT: return "the program's file is not one this system can run";
    default: return "the system refused";
    }
}

// The file this process runs, to start it again.
void NameOwnFile(char (&file)[MAX_PATH])
{
    const DWORD length = GetModuleFileNameA(nullptr, file, MAX_PATH);
    if (length == 0) {
        const DWORD error = GetLastError();
        EndWithFailure("cannot name this program's own file to start it again: %s (error %u)", ErrorMeaning(error),
                       static_cast<unsigned>(error));
    }
    if (length >= MAX_PATH) {
        EndWithFailure("cannot start this program again: the name of its file is longer than %u characters",
                       static_cast<unsigned>(MAX_PATH - 1));
    }
}

// Starts the child under a turn, so that an ending that comes meanwhile
// waits, and then ends the child too.
void StartChild(const char* file, const ChildPipes& pipes, const RunOrdinal& ordinal, PROCESS_INFORMATION& child)
{
    // Its argv: the program's name and the option that makes it a child.
    TextBuffer words{};
    AppendText(words, PROGRAM_NAME);
    AppendText(words, " ");
    AppendText(words, CHILD_RUN_OPTION);
    words.text[words.length] = '\0';
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = pipes.childRecords;
    startup.hStdError = pipes.childMessages;
    WaitForOutputTurn(OUTPUT_DRAWING);
    const BOOL started =
        CreateProcessA(file, words.text, nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &child);
    const DWORD error = GetLastError();
    if (started) {
        SetRunningChild(child.hProcess);
    }
    GiveOutputTurnBack();
    if (!started) {
        EndWithFailure("run %d of %d could not be started: %s (error %u)", ordinal.run, ordinal.runs,
                       ErrorMeaning(error), static_cast<unsigned>(error));
    }
    CloseHandle(child.hThread);
}

void OnRecord(RunWatch& watch, const RunRecord& record)
{
    if (record.kind == RECORD_COUNTS) {
        watch.report = ReportRun(record.cpuLoops, record.fpuLoops, record.sdWrites);
        watch.gotCounts = true;
    } else if (record.kind == RECORD_LIVE && ShowsProgress() && TryOutputTurn(OUTPUT_DRAWING)) {
        const DWORD seconds = record.secondsLeft > LONGEST_COUNTDOWN_SECONDS
                                  ? LONGEST_COUNTDOWN_SECONDS
                                  : static_cast<DWORD>(record.secondsLeft);
        DrawProgressLine(TheProgressLine(), watch.ordinal, seconds,
                         ComputeFigures(record.cpuLoops, record.fpuLoops, record.sdWrites));
        GiveOutputTurnBack();
    }
}

// Reads what waits in `pipe` into `bytes`; how much, 0 if nothing.
DWORD ReadWaiting(HANDLE pipe, char (&bytes)[512])
{
    DWORD waiting = 0;
    DWORD got = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) || waiting == 0 ||
        !ReadFile(pipe, bytes, waiting < sizeof bytes ? waiting : sizeof bytes, &got, nullptr)) {
        return 0;
    }
    return got;
}

// Reads the child's records and messages until it has ended and all it
// sent is read.
void WatchChild(RunWatch& watch, const ChildPipes& pipes, HANDLE process)
{
    DWORD quietPeriods = 0;
    bool ended = false;
    for (;;) {
        char bytes[512];
        DWORD got = ReadWaiting(pipes.records, bytes);
        if (got > 0) {
            FeedRecordLines(watch.lines, bytes, got, [&watch](const RunRecord& record) { OnRecord(watch, record); });
            quietPeriods = 0;
            continue;
        }
        got = ReadWaiting(pipes.messages, bytes);
        if (got > 0) {
            PassOnChildMessages(bytes, got);
            continue;
        }
        if (ended) {
            EndChildMessages();
            return;
        }
        if (++quietPeriods > MOST_QUIET_PERIODS) {
            EndWithFailure("run %d of %d sent nothing for %u s and was stopped", watch.ordinal.run,
                           watch.ordinal.runs, static_cast<unsigned>(MOST_QUIET_MS / 1000));
        }
        // Returns early once the child has ended; a failed wait stops the
        // watch too, once what was sent is read.
        ended = WaitForSingleObject(process, WATCH_PERIOD_MS) != WAIT_TIMEOUT;
    }
}

// A pipe whose write end a child inherits. The read end stays this
// process's alone, so that the child's writes fail once this process is
// gone, and the child gives up.
void MakeChildPipe(HANDLE& readEnd, HANDLE& childEnd, const RunOrdinal& ordinal)
{
    SECURITY_ATTRIBUTES inherited = {sizeof inherited, nullptr, TRUE};
    if (!CreatePipe(&readEnd, &childEnd, &inherited, 0) || !SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0)) {
        const DWORD error = GetLastError();
        EndWithFailure("cannot make a pipe for run %d of %d: %s (error %u)", ordinal.run, ordinal.runs,
                       ErrorMeaning(error), static_cast<unsigned>(error));
    }
}

// One run in a child; its report, or the end of this process.
RunReport MeasureInChild(const char* file, const RunOrdinal& ordinal)
{
    ChildPipes pipes;
    MakeChildPipe(pipes.records, pipes.childRecords, ordinal);
    MakeChildPipe(pipes.messages, pipes.childMessages, ordinal);
    PROCESS_INFORMATION child = {};
    StartChild(file, pipes, ordinal, child);
    // The child's copies are the only writers now: the pipes end with it.
    CloseHandle(pipes.childRecords);
    CloseHandle(pipes.childMessages);
    RunWatch watch = {ordinal, {}, false, {}};
    WatchChild(watch, pipes, child.hProcess);
    CloseHandle(pipes.records);
    CloseHandle(pipes.messages);
    DWORD status = STILL_ACTIVE;
    if (!GetExitCodeProcess(child.hProcess, &status) || status == STILL_ACTIVE) {
        EndWithFailure("run %d of %d could not be watched to its end, and was stopped", ordinal.run, ordinal.runs);
    }
    WaitForOutputTurn(OUTPUT_DRAWING);
    SetRunningChild(nullptr);
    GiveOutputTurnBack();
    CloseHandle(child.hProcess);
    if (status == EXIT_INTERRUPTED || status == CONTROL_C_EXIT_STATUS) {
        EndAsInterrupted(CTRL_C_EVENT);
    }
    if (status == EXIT_HUNG_UP) {
        EndAsInterrupted(CTRL_CLOSE_EVENT);
    }
    if (status != EXIT_WHOLE_RUN) {
        EndWithFailure("run %d of %d ended with exit status %u%s", ordinal.run, ordinal.runs,
                       static_cast<unsigned>(status), watch.gotCounts ? "" : " before giving its counts");
    }
    if (!watch.gotCounts) {
        EndWithFailure("run %d of %d ended without giving its counts", ordinal.run, ordinal.runs);
    }
    return watch.report;
}

}  // namespace

void MeasureInFreshProcesses(int count, bool json, const char* version)
{
    HandleControlEvents(StderrIsTerminal());
    char file[MAX_PATH];
    NameOwnFile(file);
    static RunReport runs[MOST_RUNS];
    for (int i = 0; i < count; ++i) {
        runs[i] = MeasureInChild(file, {i + 1, count});
    }
    WaitForOutputTurn(OUTPUT_REPORTING);
    if (ShowsProgress()) {
        EraseProgressLine(TheProgressLine());
    }
    const RunsResults results = SummarizeRuns(runs, count);
    TextBuffer piece{};
    if (json) {
        for (int i = 0; i < RunsJsonPieces(results); ++i) {
            piece.length = 0;
            AppendRunsJsonPiece(piece, results, i, version);
            std::fwrite(piece.text, 1, piece.length, stdout);
        }
    } else {
        AppendRunsText(piece, results);
        std::fwrite(piece.text, 1, piece.length, stdout);
    }
    ExitProcess(Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED);
}
