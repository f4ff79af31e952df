#include "test_instance.h"

HINSTANCE TestInstance()
{
    return GetModuleHandleA(nullptr);
}
