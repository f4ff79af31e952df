// The main window's procedure and the program's entry point.
#pragma once

#include <windows.h>

// WinMain's result when the main window cannot be created (no display).
constexpr int MAIN_WINDOW_FAILED = 1;

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand);
