// Grading must come out the same on every build and processor: IEEE double
// arithmetic, each operation rounded to nearest. The x87 unit of 32-bit
// processors without SSE2 computes with 64-bit mantissas unless its
// precision control says otherwise, and any caller may have changed the
// rounding mode. These set both for a stretch of code and put the caller's
// settings back afterwards.
#pragma once

#include <cstdint>

struct SavedFloatingPoint {
    std::uint32_t settings;
};

SavedFloatingPoint UsePlainDoubles();
void RestoreFloatingPoint(SavedFloatingPoint saved);
