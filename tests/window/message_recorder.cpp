#include "window/message_recorder.h"

#ifndef _WIN32
#include "image_base.h"
#endif

#include <cstdio>
#include <ctime>

namespace wintest {
namespace {

constexpr char CLASS_NAME[] = "KoruWindowTest";
constexpr UINT_PTR GUARD_TIMER = 0x7001;
constexpr UINT_PTR FLUSH_TIMER = 0x7002;

// The message GetMessageA gave the pump, until the procedure sees it: what
// arrives meanwhile was sent, not queued.
const MSG* dispatching = nullptr;

bool Watched(UINT message, WPARAM wParam)
{
    switch (message) {
    case WM_CREATE:
    case WM_DESTROY:
    case WM_PAINT:
    case WM_ERASEBKGND:
    case WM_CLOSE:
        return true;
    case WM_TIMER:
        return wParam != GUARD_TIMER && wParam != FLUSH_TIMER;
    default:
        return message >= WM_USER && message < WM_USER + 100;
    }
}

// Covers the update area with black from a fresh compatible bitmap.
void Blacken(HDC dc, const RECT& area)
{
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    if (width <= 0 || height <= 0) {
        return;
    }
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP black = CreateCompatibleBitmap(dc, width, height);
    HGDIOBJ old = SelectObject(memory, black);
    BitBlt(dc, area.left, area.top, width, height, memory, 0, 0, SRCCOPY);
    SelectObject(memory, old);
    DeleteObject(black);
    DeleteDC(memory);
}

LRESULT CALLBACK RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    Recorder& recorder = TheRecorder();
    const bool queued = dispatching != nullptr && dispatching->hwnd == window &&
                        dispatching->message == message && dispatching->wParam == wParam &&
                        dispatching->lParam == lParam;
    if (queued) {
        dispatching = nullptr;
    }
    if (Watched(message, wParam)) {
        recorder.messages.push_back(Recorded{window, message, wParam, lParam, queued});
    }
    switch (message) {
    case WM_CREATE:
        recorder.createParam = reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams;
        return recorder.createResult;
    case WM_DESTROY:
        if (recorder.quitOnDestroy) {
            PostQuitMessage(0);
        }
        return 0;
    case WM_PAINT: {
        if (recorder.paintMode == PaintMode::DEFER) {
            break;
        }
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        recorder.paints.push_back(
            PaintSeen{paint.fErase, paint.rcPaint, GetPixel(dc, recorder.probe.x, recorder.probe.y)});
        Blacken(dc, paint.rcPaint);
        EndPaint(window, &paint);
        return 0;
    }
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

const char* MessageName(UINT message)
{
    switch (message) {
    case WM_CREATE: return "WM_CREATE";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_PAINT: return "WM_PAINT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_TIMER: return "WM_TIMER";
    default: return nullptr;
    }
}

std::string Describe(UINT message, WPARAM wParam, const char* how)
{
    char text[64];
    if (const char* name = MessageName(message)) {
        std::snprintf(text, sizeof text, "%s(%lu)%s", name, static_cast<unsigned long>(wParam), how);
    } else {
        std::snprintf(text, sizeof text, "WM_USER+%u(%lu)%s", message - WM_USER,
                      static_cast<unsigned long>(wParam), how);
    }
    return text;
}

bool Matches(const Expected& expected, const Recorded& got)
{
    return expected.message == got.message &&
           !((expected.flags & SENT) && got.queued) &&
           !((expected.flags & QUEUED) && !got.queued) &&
           !((expected.flags & WPARAM_IS) && expected.wParam != got.wParam);
}

}  // namespace

Recorder& TheRecorder()
{
    static Recorder recorder;
    return recorder;
}

void ResetRecorder()
{
    TheRecorder() = Recorder{};
}

HINSTANCE TestInstance()
{
#ifdef _WIN32
    return GetModuleHandleA(nullptr);
#else
    return koru::posix::ImageBase();
#endif
}

HWND CreateRecordingWindow(LPVOID createParam)
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSA windowClass{};
        windowClass.style = CS_HREDRAW | CS_VREDRAW;
        windowClass.lpfnWndProc = RecordingProc;
        windowClass.hInstance = TestInstance();
        windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
        windowClass.lpszClassName = CLASS_NAME;
        registered = RegisterClassA(&windowClass) != 0;
    }
    return CreateWindowExA(0, CLASS_NAME, "KORU window test", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                           CW_USEDEFAULT, 640, 480, nullptr, nullptr, TestInstance(), createParam);
}

HWND CreateShownWindow()
{
    HWND window = CreateRecordingWindow();
    if (window != nullptr) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        Flush(window);
    }
    TheRecorder().messages.clear();
    TheRecorder().paints.clear();
    return window;
}

void DispatchQueued(const MSG& msg)
{
    dispatching = &msg;
    DispatchMessageA(&msg);
    dispatching = nullptr;
}

bool PumpUntil(HWND window, const std::function<bool(const MSG&)>& done, UINT limitMs)
{
    SetTimer(window, GUARD_TIMER, limitMs, nullptr);
    const DWORD start = GetTickCount();
    bool accepted = false;
    MSG msg;
    while (!accepted && GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (msg.message == WM_TIMER && msg.wParam == GUARD_TIMER && msg.hwnd == window) {
            break;
        }
        TranslateMessage(&msg);
        DispatchQueued(msg);
        accepted = done(msg);
        // A window that is never validated would starve the guard timer.
        if (GetTickCount() - start > limitMs) {
            break;
        }
    }
    KillTimer(window, GUARD_TIMER);
    return accepted;
}

void Flush(HWND window)
{
    SetTimer(window, FLUSH_TIMER, 10, nullptr);
    PumpUntil(window, [window](const MSG& msg) {
        return msg.message == WM_TIMER && msg.wParam == FLUSH_TIMER && msg.hwnd == window;
    });
    KillTimer(window, FLUSH_TIMER);
}

std::string CompareSequence(const std::vector<Expected>& expected,
                            const std::vector<Recorded>& got)
{
    std::size_t e = 0;
    std::size_t g = 0;
    bool ok = true;
    while (e < expected.size() && ok) {
        if (g < got.size() && Matches(expected[e], got[g])) {
            ++e;
            ++g;
        } else if (expected[e].flags & MAYBE) {
            ++e;
        } else {
            ok = false;
        }
    }
    if (ok && g == got.size()) {
        return "";
    }
    std::string account = "expected:";
    for (const Expected& message : expected) {
        const char* how = (message.flags & SENT) ? " sent" : (message.flags & QUEUED) ? " queued" : "";
        account += ' ' + Describe(message.message, message.wParam, how);
        if (message.flags & MAYBE) {
            account += "?";
        }
    }
    account += "\n     got:";
    for (const Recorded& message : got) {
        account += ' ' + Describe(message.message, message.wParam, message.queued ? " queued" : " sent");
    }
    return account;
}

DWORD ProcessCpuMs()
{
#ifdef _WIN32
    // clock() is wall time on Windows.
    FILETIME creation, exit, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel, &user);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<unsigned long long>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    return static_cast<DWORD>((ticks(kernel) + ticks(user)) / 10000);
#else
    return static_cast<DWORD>(std::clock() / (CLOCKS_PER_SEC / 1000));
#endif
}

}  // namespace wintest
