// The Linux layer has one module and LoadBitmapA does not look at instances;
// the value is the one the runtime start-up passes (Windows' usual image
// base), small enough for GetWindowLongA's 32-bit LONG to give back intact.
#include "test_instance.h"

#include <cstdint>

HINSTANCE TestInstance()
{
    return reinterpret_cast<HINSTANCE>(std::uintptr_t{0x400000});
}
