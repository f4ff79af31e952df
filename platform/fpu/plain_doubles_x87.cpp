// Plain doubles on the x87 unit (32-bit x86, the Windows build): its control
// word holds precision control in bits 8-9 (10 = 53-bit mantissa) and
// rounding control in bits 10-11 (00 = to nearest). Set through the control
// word itself: the C library's calls also touch the SSE unit, which the
// processors this build is for may not have.
#include "plain_doubles.h"

#include <cfloat>

static_assert(FLT_EVAL_METHOD == 2, "doubles computed as doubles need plain_doubles_cfenv.cpp");

namespace {

constexpr std::uint16_t PRECISION_AND_ROUNDING = 0x0F00;
constexpr std::uint16_t DOUBLE_PRECISION_TO_NEAREST = 0x0200;

}  // namespace

SavedFloatingPoint UsePlainDoubles()
{
    std::uint16_t control;
    asm volatile("fnstcw %0" : "=m"(control) : : "memory");
    const std::uint16_t plain =
        static_cast<std::uint16_t>((control & ~PRECISION_AND_ROUNDING) | DOUBLE_PRECISION_TO_NEAREST);
    asm volatile("fldcw %0" : : "m"(plain) : "memory");
    return {control};
}

void RestoreFloatingPoint(SavedFloatingPoint saved)
{
    const auto control = static_cast<std::uint16_t>(saved.settings);
    asm volatile("fldcw %0" : : "m"(control) : "memory");
}
