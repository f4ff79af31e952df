// Grading must come out the same on every build and processor: IEEE double
// arithmetic, each operation rounded to nearest. The x87 unit of 32-bit
// processors without SSE2 computes with 64-bit mantissas unless its
// precision control says otherwise, and any caller may have changed the
// rounding mode. These set both for a stretch of code and put the caller's
// settings back afterwards.
//
// How depends on the processor, not the OS, so the build chooses the file:
// plain_doubles_x87.cpp where doubles are computed on the x87 unit (32-bit
// x86: the Windows build), plain_doubles_cfenv.cpp where they are computed
// as doubles (x86-64's SSE2, arm64).
#pragma once

#include <cstdint>

struct SavedFloatingPoint {
    std::uint32_t settings;
};

SavedFloatingPoint UsePlainDoubles();
void RestoreFloatingPoint(SavedFloatingPoint saved);
