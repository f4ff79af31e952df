#include "console_control.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace {

// A child ended by an ending gets this long to go before this process
// goes anyway; a killed process takes microseconds.
constexpr DWORD CHILD_END_WAIT_MS = 2000;

std::atomic<int> outputTurn{OUTPUT_FREE};
bool showProgress = false;
ProgressLine progressLine{};     // belongs to whoever holds the turn
HANDLE runningChild = nullptr;   // the same

// Takes the turn from OUTPUT_FREE; the value found there if it was not free.
bool TakeOutputTurn(int turn, int& found)
{
    found = OUTPUT_FREE;
    return outputTurn.compare_exchange_strong(found, turn);
}

// The holder of any turn may end the child: nobody else can let it go now.
void EndRunningChild()
{
    if (runningChild != nullptr) {
        TerminateProcess(runningChild, EXIT_INTERRUPTED);
        WaitForSingleObject(runningChild, CHILD_END_WAIT_MS);
    }
}

// Holding OUTPUT_ENDING.
[[noreturn]] void EndHoldingTheTurn(DWORD event)
{
    EndRunningChild();
    // A closed terminal takes nothing more.
    if (showProgress && event != CTRL_CLOSE_EVENT) {
        EraseProgressLine(progressLine);
    }
    ExitProcess(event == CTRL_CLOSE_EVENT ? EXIT_HUNG_UP : EXIT_INTERRUPTED);
}

BOOL WINAPI OnControlEvent(DWORD event)
{
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    int found;
    while (!TakeOutputTurn(OUTPUT_ENDING, found)) {
        if (found != OUTPUT_DRAWING) {
            // Ending already, or the results are being written: they finish.
            return TRUE;
        }
        Sleep(1);  // a progress line is going out, or a child is being started
    }
    EndHoldingTheTurn(event);
}

}  // namespace

bool StderrIsTerminal()
{
    DWORD mode;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

void HandleControlEvents(bool showsProgress)
{
    showProgress = showsProgress;
    // Without it, Ctrl-C still ends the run at once, as the signal does.
    SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

bool ShowsProgress()
{
    return showProgress;
}

bool TryOutputTurn(OutputTurn turn)
{
    int found;
    return TakeOutputTurn(turn, found);
}

void WaitForOutputTurn(OutputTurn turn)
{
    int found;
    while (!TakeOutputTurn(turn, found)) {
        Sleep(found == OUTPUT_DRAWING ? 1 : WATCH_PERIOD_MS);  // a line is going out, or the process is ending
    }
}

void GiveOutputTurnBack()
{
    outputTurn.store(OUTPUT_FREE);
}

ProgressLine& TheProgressLine()
{
    return progressLine;
}

void SetRunningChild(HANDLE process)
{
    runningChild = process;
}

void EndAsInterrupted(DWORD event)
{
    WaitForOutputTurn(OUTPUT_ENDING);
    EndHoldingTheTurn(event);
}

void EndWithFailure(const char* format, ...)
{
    WaitForOutputTurn(OUTPUT_REPORTING);
    EndRunningChild();
    if (showProgress) {
        EraseProgressLine(progressLine);
    }
    std::fprintf(stderr, "%s: ", PROGRAM_NAME);
    va_list arguments;
    va_start(arguments, format);
    std::vfprintf(stderr, format, arguments);
    va_end(arguments);
    std::fputc('\n', stderr);
    ExitProcess(EXIT_FAILED);
}

bool Delivered(FILE* stream)
{
    if (std::fflush(stream) == 0 && !std::ferror(stream)) {
        return true;
    }
    std::fprintf(stderr, "%s: cannot write to standard output: %s\n", PROGRAM_NAME, std::strerror(errno));
    return false;
}
