// A small windowed program run by process_test, linked with the real
// runtime start-up and started as the program's window is (RunWindow). What
// it does is chosen by its one argument:
//   (none)       shows a window and says "painted" on its first paint;
//   close        also starts a thread that never ends, then closes its
//                window: the process must end without waiting for it;
//   picture      paints the countdown picture (BG_BMP) at the origin;
//   descriptors  writes to descriptor 3 what 0, 1 and 2 are ("0:null ...");
//   write        writes the scratch file once and says "wrote N";
//   text         draws a line of the program's text in its font on a
//                memory context and says "ink N", the pixels it inked.
// The last three show no window, so the start-up ends them with 1.
#include "run_window.h"

#include <windows.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

bool closeAfterPaint = false;
bool paintPicture = false;
bool painted = false;

DWORD WINAPI EndlessThread(LPVOID)
{
    for (;;) {
        Sleep(1000);
    }
}

void PaintPicture(HWND window, HDC dc)
{
    static HBITMAP picture = LoadBitmapA(
        reinterpret_cast<HINSTANCE>(static_cast<std::intptr_t>(GetWindowLongA(window, GWL_HINSTANCE))),
        "BG_BMP");
    HDC memory = CreateCompatibleDC(dc);
    SelectObject(memory, picture);
    BitBlt(dc, 0, 0, 640, 480, memory, 0, 0, SRCCOPY);
    DeleteDC(memory);
}

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        if (paintPicture) {
            PaintPicture(window, dc);
        }
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

void TellDescriptors()
{
    struct stat null;
    stat("/dev/null", &null);
    std::string report;
    for (int fd = 0; fd <= 2; ++fd) {
        struct stat info;
        const char* what = fstat(fd, &info) != 0 ? "closed"
                           : S_ISCHR(info.st_mode) && info.st_rdev == null.st_rdev ? "null"
                                                                                   : "other";
        report += std::to_string(fd) + ":" + what + (fd < 2 ? " " : "\n");
    }
    const ssize_t written = write(3, report.data(), report.size());
    static_cast<void>(written);
}

void WriteScratch()
{
    static char buffer[10240];
    DWORD written = 0;
    HANDLE file = CreateFileA("c:\\tmp.dat", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        WriteFile(file, buffer, sizeof buffer, &written, nullptr);
        CloseHandle(file);
    }
    std::printf("wrote %u\n", static_cast<unsigned>(written));
}

void DrawText()
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP page = CreateCompatibleBitmap(screen, 200, 40);
    ReleaseDC(nullptr, screen);
    SelectObject(dc, page);
    PatBlt(dc, 0, 0, 200, 40, WHITENESS);
    SetBkMode(dc, TRANSPARENT);
    // Twice, as the program makes its font on every screen.
    for (int i = 0; i < 2; ++i) {
        HFONT font = CreateFontA(30, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET,
                                 OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, PROOF_QUALITY,
                                 FIXED_PITCH | FF_MODERN,
                                 "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");
        HGDIOBJ previous = SelectObject(dc, font);
        TextOutA(dc, 0, 0, "CPU=123 \x82\xcc\x82\xb1\x82\xe8", 14);  // "のこり"
        SelectObject(dc, previous);
        DeleteObject(font);
    }
    int ink = 0;
    for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 200; ++x) {
            ink += GetPixel(dc, x, y) != RGB(255, 255, 255);
        }
    }
    std::printf("ink %d\n", ink);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previousInstance, LPSTR commandLine, int showCommand)
{
    if (std::strcmp(commandLine, "descriptors") == 0) {
        TellDescriptors();
        return 0;
    }
    if (std::strcmp(commandLine, "write") == 0) {
        WriteScratch();
        return 0;
    }
    if (std::strcmp(commandLine, "text") == 0) {
        DrawText();
        return 0;
    }
    closeAfterPaint = std::strcmp(commandLine, "close") == 0;
    paintPicture = std::strcmp(commandLine, "picture") == 0;
    return RunWindow(instance, previousInstance, showCommand, {"KoruProbe", "KORU probe", ProbeProc});
}
