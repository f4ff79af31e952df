// The module instance that holds this test program's resources: the one a
// window must carry for DrawBackground to find its pictures.
#pragma once

#include <windows.h>

HINSTANCE TestInstance();
