// The program's entry and its one window: register the class, create and
// show the window (its first paint starts the run), then pump messages until
// the window is closed.
#include "main_window.h"

#include "paint_main_window.h"
#include "run_window.h"

namespace {

constexpr WindowDescription MAIN_WINDOW = {"KORU_BENCH_ClassNme", "KORU BENCH", MainWndProc};

}  // namespace

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_PAINT:
        PaintMainWindow(window);
        return 0;
    case WM_TIMER:
        // Any timer: the paint decides whether anything changed.
        InvalidateRect(window, nullptr, FALSE);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR, int showCommand)
{
    return RunWindow(instance, previousInstance, showCommand, MAIN_WINDOW);
}
