// Plain doubles where the compiler computes doubles as doubles (x86-64's
// SSE2, arm64): only the rounding mode can differ, and <cfenv> sets it (the
// MXCSR on x86-64, the FPCR on arm64).
#include "plain_doubles.h"

#include <cfenv>
#include <cfloat>

static_assert(FLT_EVAL_METHOD == 0, "doubles computed in a wider format need plain_doubles_x87.cpp");

SavedFloatingPoint UsePlainDoubles()
{
    const SavedFloatingPoint saved{static_cast<std::uint32_t>(std::fegetround())};
    std::fesetround(FE_TONEAREST);
    return saved;
}

void RestoreFloatingPoint(SavedFloatingPoint saved)
{
    std::fesetround(static_cast<int>(saved.settings));
}
