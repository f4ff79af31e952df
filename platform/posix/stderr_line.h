// One line on stderr for a situation the user has to act on, said once per
// process however often the situation recurs.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace koru::posix {

// The program the lines speak for; the terminal program's start-up names
// itself here (console_start.cpp).
inline const char* stderrLineProgram = "koru-bench";

// Prints the program's name, ": " and the formatted text as one line,
// unless `said` is set already; sets it.
[[gnu::format(printf, 2, 3)]] inline void SayOnce(std::atomic<bool>& said, const char* format, ...)
{
    if (said.exchange(true)) {
        return;
    }
    char text[768];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    // One call, so that the line is not split by another thread's output.
    std::fprintf(stderr, "%s: %s\n", stderrLineProgram, text);
    std::fflush(stderr);
}

}  // namespace koru::posix
