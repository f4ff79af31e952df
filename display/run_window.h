// One top-level window from start to close, as a program's WinMain runs it:
// the program's own, and the tools' and tests' that show one of their own.
#pragma once

#include <windows.h>

// RunWindow's result when the window cannot be created (no display):
// without a window no message would ever end the loop.
constexpr int MAIN_WINDOW_FAILED = 1;

struct WindowDescription {
    const char* className;
    const char* title;
    WNDPROC procedure;
};

// Registers the class, unless `previousInstance` says it is there already
// (0 at once if registration fails); creates the 640 x 480 (outer size)
// WS_OVERLAPPEDWINDOW window, shows it with `showCommand` and has it painted
// with UpdateWindow; then dispatches messages until WM_QUIT and returns its
// wParam.
int RunWindow(HINSTANCE instance, HINSTANCE previousInstance, int showCommand,
              const WindowDescription& description);
