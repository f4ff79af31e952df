// One line on stderr for a situation the user has to act on, said once per
// process however often the situation recurs.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace koru::posix {

// Prints "koru-bench: " and the formatted text as one line, unless `said`
// is set already; sets it.
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
    std::fprintf(stderr, "koru-bench: %s\n", text);
    std::fflush(stderr);
}

}  // namespace koru::posix
