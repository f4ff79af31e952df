// SDL video for the window side: opened by the first CreateWindowExA.
#pragma once

namespace koru::posix {

// Opens SDL video once; false (and one line on stderr) if there is no display.
bool OpenVideo();

// SDL video is open: there are SDL events to read.
bool VideoUp();

// SDL video is open on a driver that can block in SDL_WaitEventTimeout
// (X11, Wayland); others would poll there every millisecond.
bool VideoCanWait();

}  // namespace koru::posix
