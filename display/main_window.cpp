// The program's entry and its one window: register the class, create and
// show the window (its first paint starts the run), then pump messages until
// the window is closed.
#include "main_window.h"

#include "paint_main_window.h"

namespace {

constexpr const char* CLASS_NAME = "KORU_BENCH_ClassNme";
constexpr const char* WINDOW_TITLE = "KORU BENCH";
constexpr int WINDOW_WIDTH = 640;  // outer size, frame and caption included
constexpr int WINDOW_HEIGHT = 480;

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
    if (previousInstance == nullptr) {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = MainWndProc;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = CLASS_NAME;
        if (!RegisterClassA(&windowClass)) {
            return 0;
        }
    }
    HWND window = CreateWindowExA(0, CLASS_NAME, WINDOW_TITLE, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                  CW_USEDEFAULT, WINDOW_WIDTH, WINDOW_HEIGHT, nullptr, nullptr,
                                  instance, nullptr);
    // Without a window no message would ever end the loop below.
    if (window == nullptr) {
        return MAIN_WINDOW_FAILED;
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0)) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return static_cast<int>(message.wParam);
}
