// The Linux layer has one module and LoadBitmapA does not look at instances;
// the value is the one the runtime start-up passes.
#include "test_instance.h"

#include "image_base.h"

HINSTANCE TestInstance()
{
    return koru::posix::ImageBase();
}
