// The window thread's message queue. GetMessageA takes, in Windows' order:
// posted messages, the quit request, input, a WM_PAINT for a window that
// needs one, a WM_TIMER for a due timer; with none of these it sleeps
// until the next timer is due or SDL has an event.
#include "paint.h"
#include "timer.h"
#include "user_state.h"
#include "video.h"
#include "window_events.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <thread>

namespace {

using namespace koru::posix;

// Without a driver that can block (dummy, offscreen, no video at all) the
// loop sleeps on its own, waking this often to look at SDL's queue.
constexpr std::int64_t IDLE_SLICE_US = 100'000;

void PumpSdl()
{
    if (!VideoUp()) {
        return;
    }
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        HandleSdlEvent(event);
    }
}

bool TakeFront(std::list<MSG>& queue, MSG& msg)
{
    if (queue.empty()) {
        return false;
    }
    msg = queue.front();
    queue.pop_front();
    return true;
}

bool TakePaint(MSG& msg)
{
    const HWND window = WindowToPaint();
    if (window == nullptr) {
        return false;
    }
    msg = MSG{};
    msg.hwnd = window;
    msg.message = WM_PAINT;
    return true;
}

// Blocks until the next timer is due or an event may have come. The wait is
// worked out afresh from the loop's own clock each time: SDL's timed wait
// has returned early in some versions.
void WaitForWork()
{
    std::int64_t leftUs = 0;
    const bool timed = TimeToNextTimer(leftUs);
    if (timed && leftUs == 0) {
        return;
    }
    if (VideoCanWait() && !User().windows.empty()) {
        // SDL only blocks while it has a window to wake.
        const int timeoutMs =
            timed ? static_cast<int>(std::min<std::int64_t>((leftUs + 999) / 1000, INT_MAX)) : -1;
        SDL_Event event;
        if (SDL_WaitEventTimeout(&event, timeoutMs)) {
            HandleSdlEvent(event);
        }
        return;
    }
    const std::int64_t sleepUs = timed ? std::min(leftUs, IDLE_SLICE_US) : IDLE_SLICE_US;
    std::this_thread::sleep_for(std::chrono::microseconds(sleepUs));
}

}  // namespace

BOOL WINAPI GetMessageA(LPMSG msg, HWND, UINT, UINT)
{
    // The window and range filters are not supported: the program passes none.
    if (msg == nullptr) {
        return -1;
    }
    UserState& user = User();
    for (;;) {
        if (TakeFront(user.posted, *msg)) {
            return msg->message != WM_QUIT;
        }
        if (user.quitPending) {
            user.quitPending = false;
            *msg = MSG{};
            msg->message = WM_QUIT;
            msg->wParam = static_cast<WPARAM>(user.quitCode);
            msg->time = GetTickCount();
            return FALSE;
        }
        PumpSdl();
        if (TakeFront(user.input, *msg)) {
            return TRUE;
        }
        if (TakePaint(*msg) || TakeDueTimer(*msg)) {
            msg->time = GetTickCount();
            return TRUE;
        }
        WaitForWork();
    }
}

BOOL WINAPI PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
try {
    if (window != nullptr && koru::posix::LookUpWindow(window) == nullptr) {
        return FALSE;
    }
    koru::posix::User().posted.push_back(koru::posix::MakeMessage(window, message, wParam, lParam));
    return TRUE;
} catch (...) {
    return FALSE;  // the queue could not grow: the message is lost, as on a full Windows queue
}

void WINAPI PostQuitMessage(int exitCode)
{
    auto& user = koru::posix::User();
    user.quitPending = true;
    user.quitCode = exitCode;
}

BOOL WINAPI TranslateMessage(const MSG*)
{
    // No key messages come (window_events.cpp), so none is translated.
    return FALSE;
}

LRESULT WINAPI DispatchMessageA(const MSG* msg)
{
    if (msg == nullptr || msg->hwnd == nullptr) {
        return 0;
    }
    return koru::posix::SendToWindow(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

LRESULT WINAPI DefWindowProcA(HWND handle, UINT message, WPARAM, LPARAM)
{
    using namespace koru::posix;
    switch (message) {
    case WM_CLOSE:
        DestroyWindow(handle);
        return 0;
    case WM_PAINT: {
        // Validating is all: a window that does not paint is not asked again.
        PAINTSTRUCT paint{};
        BeginPaint(handle, &paint);
        EndPaint(handle, &paint);
        return 0;
    }
    case WM_ERASEBKGND: {
        Window* window = LookUpWindow(handle);
        return window != nullptr && EraseUpdateArea(*window);
    }
    default:
        return 0;
    }
}
