// What the whole terminal program shares: its name, its exit
// statuses, the turns at writing to the terminal and stdout, and how Ctrl-C
// or a closed terminal ends it.
//
// Who may write now: the watching thread draws the progress line and, once
// the results are in, writes them; a control event ends the process, but
// never halfway through either, so that stdout holds whole results or
// nothing. A child process measuring a run for this one is started and let
// go only under a turn, so that a control event ends it too.
#pragma once

#include "progress_line.h"

#include <windows.h>

#include <cstdio>

constexpr const char* PROGRAM_NAME = "koru-bench-cli";

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

enum OutputTurn : int { OUTPUT_FREE, OUTPUT_DRAWING, OUTPUT_REPORTING, OUTPUT_ENDING };

bool StderrIsTerminal();

// Installs the control handler. `showProgress`: stderr is a terminal that
// shows the progress line, which the ending then erases.
void HandleControlEvents(bool showProgress);
bool ShowsProgress();

// Takes the turn from OUTPUT_FREE; false if another holds it.
bool TryOutputTurn(OutputTurn turn);
// Takes it once it is free; never returns if the process is ending.
void WaitForOutputTurn(OutputTurn turn);
void GiveOutputTurnBack();

// Belongs to whoever holds the turn.
ProgressLine& TheProgressLine();

// The child measuring a run now, or nullptr; set only under a turn. An
// ending ends it first.
void SetRunningChild(HANDLE process);

// Ends the process as a control event does (a run's child was stopped by
// one, as this process was or soon will be): the running child first, the
// progress line erased (but for a closed terminal), then 130 or 129.
[[noreturn]] void EndAsInterrupted(DWORD event);

// Ends the process with EXIT_FAILED and one line on stderr, once the
// progress line is erased and the running child ended.
[[noreturn, gnu::format(printf, 1, 2)]] void EndWithFailure(const char* format, ...);

// Whether everything written to `stream` got out; if not, says so.
bool Delivered(FILE* stream);
