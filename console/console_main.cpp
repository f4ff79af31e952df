// koru-bench-cli: the same 15-second measurement as the window program, for
// a terminal: measured here once (one_run.h), or several times, each run in
// a fresh process of its own (fresh_runs.h). Ctrl-C, or a closed terminal,
// ends the program at once, with nothing on stdout.
#include "console_control.h"
#include "fresh_runs.h"
#include "one_run.h"
#include "run_records.h"
#include "runs_summary.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr const char* VERSION = KORU_VERSION;
constexpr const char* RUNS_OPTION = "--runs";

constexpr const char* USAGE =
    "Usage: koru-bench-cli [--json] [--runs N]\n"
    "Measures this device for 15 seconds, as KORU BENCH does in its window:\n"
    "integer arithmetic (CPU), floating-point arithmetic (FPU) and writes of a\n"
    "scratch file (SD), 5 seconds each. Then prints the device level, 0.00 to\n"
    "5.99, and the three figures.\n"
    "\n"
    "  --json     print the results as one JSON object, with the score and the\n"
    "             loop counts\n"
    "  --runs N   measure N times, 1 to 99 (default 1), each run in a fresh\n"
    "             process, and print the median run's results, with each\n"
    "             figure's range over the runs and its spread, (highest -\n"
    "             lowest) / highest; with --json, every run's too\n"
    "  -h, --help print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "On a terminal, the seconds left and the live figures are shown on standard\n"
    "error while the run lasts. Ctrl-C stops the run without results (exit\n"
    "status 130).\n";

// 1 to MOST_RUNS from a whole decimal number; 0 if `text` is none.
int RunCount(const char* text)
{
    int count = 0;
    for (const char* at = text; *at != '\0'; ++at) {
        if (*at < '0' || *at > '9') {
            return 0;
        }
        count = count * 10 + (*at - '0');
        if (count > MOST_RUNS) {
            return 0;
        }
    }
    return count;
}

int WrongUsage(const char* what, const char* argument)
{
    std::fprintf(stderr, "%s: %s '%s'; see '%s --help'\n", PROGRAM_NAME, what, argument, PROGRAM_NAME);
    return EXIT_USAGE;
}

}  // namespace

int main(int argc, char** argv)
{
    bool json = false;
    bool child = false;
    int runs = 1;
    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        const std::size_t runsLength = std::strlen(RUNS_OPTION);
        if (std::strcmp(argument, "--json") == 0) {
            json = true;
        } else if (std::strcmp(argument, RUNS_OPTION) == 0 ||
                   (std::strncmp(argument, RUNS_OPTION, runsLength) == 0 && argument[runsLength] == '=')) {
            const char* value = argument[runsLength] == '=' ? argument + runsLength + 1 : argv[++i];
            if (value == nullptr) {
                std::fprintf(stderr, "%s: --runs needs a number of runs, 1 to %d; see '%s --help'\n", PROGRAM_NAME,
                             MOST_RUNS, PROGRAM_NAME);
                return EXIT_USAGE;
            }
            runs = RunCount(value);
            if (runs == 0) {
                std::fprintf(stderr, "%s: --runs takes a number of runs from 1 to %d, not '%s'; see '%s --help'\n",
                             PROGRAM_NAME, MOST_RUNS, value, PROGRAM_NAME);
                return EXIT_USAGE;
            }
        } else if (std::strcmp(argument, CHILD_RUN_OPTION) == 0) {
            child = true;
        } else if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
            std::fputs(USAGE, stdout);
            return Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED;
        } else if (std::strcmp(argument, "--version") == 0) {
            std::printf("%s %s\n", PROGRAM_NAME, VERSION);
            return Delivered(stdout) ? EXIT_WHOLE_RUN : EXIT_FAILED;
        } else {
            return WrongUsage(argument[0] == '-' ? "unknown option" : "unexpected argument", argument);
        }
    }
    if (child) {
        MeasureHere(RESULTS_RECORDS, VERSION);
    }
    if (runs > 1) {
        MeasureInFreshProcesses(runs, json, VERSION);
    }
    MeasureHere(json ? RESULTS_JSON : RESULTS_TEXT, VERSION);
}
