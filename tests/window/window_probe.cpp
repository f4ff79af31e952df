// A small windowed program run by process_test: it shows a window through
// the runtime start-up and says "painted" on its first paint. With the
// argument "close", it also starts a thread that never ends and then closes
// its window, to show the process ending without waiting for that thread.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

bool closeAfterPaint = false;
bool painted = false;

DWORD WINAPI EndlessThread(LPVOID)
{
    for (;;) {
        Sleep(1000);
    }
}

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        if (!painted) {
            painted = true;
            std::puts("painted");
            std::fflush(stdout);
            if (closeAfterPaint) {
                CreateThread(nullptr, 0, EndlessThread, nullptr, 0, nullptr);
                PostMessageA(window, WM_CLOSE, 0, 0);
            }
        }
        return 0;
    }
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand)
{
    closeAfterPaint = std::strcmp(commandLine, "close") == 0;
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = ProbeProc;
    windowClass.hInstance = instance;
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = "KoruProbe";
    if (!RegisterClassA(&windowClass)) {
        return 0;
    }
    HWND window = CreateWindowExA(0, "KoruProbe", "KORU probe", WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, 640, 480, nullptr, nullptr,
                                  instance, nullptr);
    if (window == nullptr) {
        return 0;  // the start-up turns this into a failure
    }
    ShowWindow(window, showCommand);
    UpdateWindow(window);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
