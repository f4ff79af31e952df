// A window whose procedure records the messages the tests watch, in the
// manner of Wine's user32 message tests: flush, act, compare with a table of
// expected messages. Uses only <windows.h>, so the same tests build for
// Windows and for the Linux layer.
#pragma once

#include "test_instance.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace wintest {

// Flags of an expected message.
constexpr unsigned SENT = 1;      // reached the procedure directly, not from the queue
constexpr unsigned QUEUED = 2;    // retrieved by GetMessageA and dispatched
constexpr unsigned MAYBE = 4;  // Windows may or may not send it here
constexpr unsigned WPARAM_IS = 8; // wParam must equal `wParam`

struct Expected {
    UINT message;
    unsigned flags = 0;
    WPARAM wParam = 0;
};

struct Recorded {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    bool queued;
};

// What the WM_PAINT handler saw, after BeginPaint and before drawing.
struct PaintSeen {
    BOOL fErase;
    RECT rcPaint;
    COLORREF pixel;  // at `Recorder::probe`
};

enum class PaintMode {
    BLACKEN,  // BeginPaint, cover the client area with black, EndPaint
    DEFER,    // hand WM_PAINT to DefWindowProcA
};

struct Recorder {
    std::vector<Recorded> messages;
    std::vector<PaintSeen> paints;
    PaintMode paintMode = PaintMode::BLACKEN;
    POINT probe{20, 20};
    LRESULT createResult = 0;
    LPVOID createParam = nullptr;  // lpCreateParams seen by WM_CREATE
    bool quitOnDestroy = false;
};

Recorder& TheRecorder();
void ResetRecorder();

// A shown-or-not WS_OVERLAPPEDWINDOW window of the recording class, 640 x 480.
HWND CreateRecordingWindow(LPVOID createParam = nullptr);
// Creates, shows and paints a window, then forgets what it was sent so far.
HWND CreateShownWindow();

// DispatchMessageA, telling the recorder the message came from the queue.
void DispatchQueued(const MSG& msg);

// Gets and dispatches messages until `done` accepts one (true), or gives up
// after `limitMs` (false). Never blocks past the limit: a guard timer wakes it.
bool PumpUntil(HWND window, const std::function<bool(const MSG&)>& done, UINT limitMs = 5000);
// Handles everything pending now, paints included: WM_TIMER comes last of
// all, so a short timer firing means the queue has drained.
void Flush(HWND window);

// "" when `got` matches `expected` (optional ones may be missing), else a
// readable account of both.
std::string CompareSequence(const std::vector<Expected>& expected,
                            const std::vector<Recorded>& got);

DWORD ProcessCpuMs();

}  // namespace wintest

#define EXPECT_SEQUENCE(...) \
    EXPECT_EQ(wintest::CompareSequence(__VA_ARGS__, wintest::TheRecorder().messages), "")
