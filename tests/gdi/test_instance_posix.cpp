// The Linux layer has one module and LoadBitmapA does not look at instances.
#include "test_instance.h"

HINSTANCE TestInstance()
{
    return nullptr;
}
