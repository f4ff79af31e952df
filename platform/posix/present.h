// Showing a window's back buffer on the screen.
#pragma once

#include "user_state.h"

namespace koru::posix {

// How the window's pictures reach the screen, chosen once it is made; false
// (and one line on stderr) if nothing can show them.
bool OpenPresenter(Window& window);
void ClosePresenter(Window& window);

// Copies `area` of the back buffer to the screen; a failure is said on
// stderr once, and false.
bool Present(Window& window, const RECT& area);

}  // namespace koru::posix
