// The module instance a test window carries: the one whose resources
// DrawBackground loads the pictures from, and the one GetWindowLongA gives
// back. One for every test program.
#pragma once

#include <windows.h>

HINSTANCE TestInstance();
