// koru-bench-cli: the same 15-second measurement as the window program, for
// a terminal. The worker runs on its own thread as it does under the window;
// this thread watches it, shows the seconds left and the live figures on
// stderr when that is a terminal, and prints the graded results on stdout
// once the run is whole. Ctrl-C, or a closed terminal, ends the process at
// once, with nothing on stdout.
#include "bench_state.h"
#include "countdown.h"
#include "progress_line.h"
#include "run_report.h"

#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace {

constexpr const char* PROGRAM_NAME = "koru-bench-cli";
constexpr const char* VERSION = KORU_VERSION;

// Exit statuses: a wrong command line as getopt programs give it, and a
// signal's as the shell reports it (128 + SIGINT, 128 + SIGHUP).
constexpr int EXIT_WHOLE_RUN = 0;
constexpr int EXIT_FAILED = 1;
constexpr int EXIT_USAGE = 2;
constexpr UINT EXIT_HUNG_UP = 129;
constexpr UINT EXIT_INTERRUPTED = 130;

// Often enough that the figures look live, seldom enough to cost the worker
// nothing it would notice.
constexpr DWORD WATCH_PERIOD_MS = 200;

constexpr const char* USAGE =
    "Usage: koru-bench-cli [--json]\n"
    "Measures this device for 15 seconds, as KORU BENCH does in its window:\n"
    "integer arithmetic (CPU), floating-point arithmetic (FPU) and writes of a\n"
    "scratch file (SD), 5 seconds each. Then prints the device level, 0.00 to\n"
    "5.99, and the three figures.\n"
    "\n"
    "  --json     print the results as one JSON object, with the score and the\n"
    "             loop counts\n"
    "  -h, --help print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "On a terminal, the seconds left and the live figures are shown on standard\n"
    "error while the run lasts. Ctrl-C stops the run without results (exit\n"
    "status 130).\n";

// Who may write now. The watching thread draws the progress line and, once
// the run is whole, writes the results; a control event ends the process,
// but never halfway through either, so that stdout holds whole results or
// nothing.
enum OutputTurn : int { OUTPUT_FREE, OUTPUT_DRAWING, OUTPUT_REPORTING, OUTPUT_ENDING };
std::atomic<int> outputTurn{OUTPUT_FREE};

bool showProgress = false;
ProgressLine progressLine{};  // belongs to whoever holds the turn

// Takes the turn from OUTPUT_FREE; the value found there if it was not free.
bool TakeOutputTurn(int turn, int& found)
{
    found = OUTPUT_FREE;
    return outputTurn.compare_exchange_strong(found, turn);
}

BOOL WINAPI OnControlEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    int found;
    while (!TakeOutputTurn(OUTPUT_ENDING, found)) {
        if (found != OUTPUT_DRAWING) {
            // Ending already, or the run is whole and its results are being
            // written: they finish.
            return TRUE;
        }
        Sleep(1);  // a progress line is going out
    }
    // A closed terminal takes nothing more.
    if (showProgress && event != CTRL_CLOSE_EVENT) {
        EraseProgressLine(progressLine);
    }
    ExitProcess(event == CTRL_CLOSE_EVENT ? EXIT_HUNG_UP : EXIT_INTERRUPTED);
}

bool StderrIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

PhaseFigures LiveFigures()
{
    return ComputeFigures(ReadCount(BenchState.cpuLoops), ReadCount(BenchState.fpuLoops),
                          ReadCount(BenchState.sdWrites));
}

void ShowProgress()
{
    const DWORD startTick = BenchState.startTick.load(std::memory_order_relaxed);
    int found;
    if (startTick == 0 || !TakeOutputTurn(OUTPUT_DRAWING, found)) {
        return;  // the worker has not read its start yet, or the process is ending
    }
    // As the countdown screen shows it: past the end, while the last write
    // is still going, 0.
    const DWORD seconds = CountdownSeconds(startTick, GetTickCount());
    DrawProgressLine(progressLine, seconds > LONGEST_COUNTDOWN_SECONDS ? 0 : seconds, LiveFigures());
    outputTurn.store(OUTPUT_FREE);
}

// Whether everything written to `stream` got out; if not, says so.
bool Delivered(FILE* stream)
{
    if (std::fflush(stream) == 0 && !std::ferror(stream)) {
        return true;
    }
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", PROGRAM_NAME, std::strerror(errno));
    return false;
}

[[noreturn]] void RunAndReport(bool json)
{
    showProgress = StderrIsTerminal();
    // Without it, Ctrl-C still ends the run at once, as the signal does.
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
    // The handle is neither kept nor closed, as under the window.
    if (CreateThread(nullptr, 0, BenchThreadProc, nullptr, 0, nullptr) == nullptr) {
        std::fprintf(stderr, "%s: cannot start the measurement: no thread could be made\n", PROGRAM_NAME);
        ExitProcess(EXIT_FAILED);
    }
    // Acquire: once the worker is seen finished, its final counts are too.
    while (BenchState.running.load(std::memory_order_acquire)) {
        if (showProgress) {
            ShowProgress();
        }
        Sleep(WATCH_PERIOD_MS);
    }
    int found;
    while (!TakeOutputTurn(OUTPUT_REPORTING, found)) {
        Sleep(WATCH_PERIOD_MS);  // interrupted: the process is ending
    }
    if (showProgress) {
        EraseProgressLine(progressLine);
    }
    const RunReport report = ReportRun(ReadCount(BenchState.cpuLoops), ReadCount(BenchState.fpuLoops),
                                       ReadCount(BenchState.sdWrites));
    TextBuffer results{};
    if (json) {
        AppendReportJson(results, report, VERSION);
    } else {
        AppendReportText(results, report);
    }
    std::fwrite(results.text, 1, results.length, stdout);
    // ExitProcess: the worker's thread may not have returned yet.
    ExitProcess(Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED);
}

}  // namespace

int main(int argc, char** argv)
{
    bool json = false;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (std::strcmp(argument, "--json") == 0) {
            json = true;
        } else if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::fputs(USAGE, stdout);
            return Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED;
        } else if (std::strcmp(argument, "--version") == 0) {
            std::printf("%s %s\n", PROGRAM_NAME, VERSION);
            return Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED;
        } else {
            std::fprintf(stderr, "%s: %s '%s'; see '%s --help'\n", PROGRAM_NAME,
                         argument[0] == '-' ? "unknown option" : "unexpected argument", argument, PROGRAM_NAME);
            return EXIT_USAGE;
        }
    }
    RunAndReport(json);
}
