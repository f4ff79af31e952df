// The update region and the back buffer: what needs painting, whether it is
// to be erased first, and the pixels it is painted into. Only paint.cpp
// reads or changes a window's update region.
#pragma once

#include "user_state.h"

namespace koru::posix {

// Gives the client area a new size. The back buffer keeps what it can of
// its picture, and a shown window is invalidated whole, with erase, as
// CS_HREDRAW | CS_VREDRAW ask. Where there is no memory for the new size
// the old one stays and paints are clipped to it (false).
bool SetClientSize(Window& window, int width, int height);

// The screen's client area has a new size, in screen pixels: the client
// area is as many whole frame pixels as fit in it at the window's scale.
bool SetScreenSize(Window& window, int width, int height);

// Showing a window invalidates its whole client area with erase; hiding
// it validates it.
void SetVisible(Window& window, bool visible);

// Whether the window is shown with something to paint: UpdateWindow then
// paints at once, GetMessageA when nothing else is waiting.
bool NeedsPaint(const Window& window);

// The first window that needs painting; null if none.
HWND WindowToPaint();

// DefWindowProcA's WM_ERASEBKGND: fills the area being painted with the
// class brush; false outside BeginPaint or where the brush is not known.
bool EraseUpdateArea(Window& window);

}  // namespace koru::posix
