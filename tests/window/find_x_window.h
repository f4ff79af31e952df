// Finding a test's window on an X display by its title, as a user's tools
// would: depth first from `from`, window manager frames included.
#pragma once

#include <X11/Xlib.h>

// 0 if no window under `from` is named `title`.
::Window FindXWindow(Display* display, ::Window from, const char* title);
