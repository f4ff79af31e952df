#include "run_window.h"

namespace {

constexpr int WINDOW_WIDTH = 640;  // outer size, frame and caption included
constexpr int WINDOW_HEIGHT = 480;

}  // namespace

int RunWindow(HINSTANCE instance, HINSTANCE previousInstance, int showCommand,
              const WindowDescription& description)
{
    if (previousInstance == nullptr) {
        WNDCLASSA windowClass = {};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = description.procedure;
        windowClass.hInstance = instance;
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = description.className;
        if (!RegisterClassA(&windowClass)) {
            return 0;
        }
    }
    HWND window = CreateWindowExA(0, description.className, description.title, WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, WINDOW_WIDTH, WINDOW_HEIGHT,
                                  nullptr, nullptr, instance, nullptr);
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
