// The test program's own module; those that draw the pictures carry them as
// resources, as the program does.
#include "test_instance.h"

HINSTANCE TestInstance()
{
    return GetModuleHandleA(nullptr);
}
