// The window side of the Linux layer: every window, class, queued message
// and timer lives in one UserState, reached through User(). All of it
// belongs to the window thread; nothing here is locked.
#pragma once

#include <windows.h>

#include <cstdint>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

struct SDL_Window;
struct SDL_Renderer;
struct SDL_Texture;
union SDL_Event;

namespace koru::posix {

// A queued message, stamped with the time it was queued.
inline MSG MakeMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    MSG msg{};
    msg.hwnd = window;
    msg.message = message;
    msg.wParam = wParam;
    msg.lParam = lParam;
    msg.time = GetTickCount();
    return msg;
}

struct WindowClass {
    WNDPROC procedure;
    HBRUSH background;
};

struct Window {
    HWND handle;
    WNDPROC procedure;
    HINSTANCE instance;
    HBRUSH background;
    SDL_Window* sdlWindow;
    std::uint32_t sdlWindowId;
    // Only where SDL cannot give the window a surface (see present.cpp).
    SDL_Renderer* renderer;
    SDL_Texture* texture;
    int textureWidth;
    int textureHeight;
    int outerWidth;  // as asked of CreateWindowExA: frame and caption included
    int outerHeight;
    bool outerSizeSettled;  // the client area has been fitted to the outer size
    // Back buffer of the client area, 0x00RRGGBB. It keeps the picture
    // between paints, whatever the video driver does with its own surface.
    std::unique_ptr<std::uint32_t[]> pixels;
    int width;
    int height;
    RECT update;  // bounding rectangle of the update region; empty if none
    bool updateErase;
    RECT paintArea;  // between BeginPaint and EndPaint
    bool painting;
    bool paintErased;  // the class brush filled some of it since BeginPaint
    bool visible;
    bool destroying;
};

struct Timer {
    HWND window;
    UINT_PTR id;
    std::int64_t periodUs;
    std::int64_t dueUs;
};

struct UserState {
    std::map<std::string, WindowClass> classes;  // by lower-case name
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::uintptr_t lastHandle = 0;
    bool videoTried = false;
    bool videoUp = false;
    bool videoCanWait = false;  // the driver blocks in SDL_WaitEventTimeout
    bool windowEverCreated = false;
    // Lists, not deques: an empty list allocates nothing, so User() cannot fail.
    std::list<MSG> posted;
    std::list<MSG> input;
    bool quitPending = false;
    int quitCode = 0;
    std::vector<Timer> timers;
};

static_assert(std::is_nothrow_default_constructible_v<UserState>);

// Never destroyed: the process may end from inside Xlib or from another
// thread, and no destructor may then touch SDL. Made without allocating,
// so reaching it never fails.
UserState& User();

// Class names match ignoring case; this is the key they are kept under.
std::string ClassKey(LPCSTR name);

Window* LookUpWindow(HWND window);
Window* LookUpSdlWindow(std::uint32_t sdlWindowId);

// Calls the window's procedure, or returns 0 if the window is gone. The
// procedure may destroy windows: re-find a Window after this.
LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Opens SDL video once; false (and one line on stderr) if there is no display.
bool OpenVideo();

// Monotonic clock of the message loop and the timers, in microseconds.
std::int64_t NowUs();

// Update region and back buffer. A back buffer there is no memory for
// keeps its old size, and paints are clipped to it (false).
void InvalidateWhole(Window& window, bool erase);
bool ResizeBackBuffer(Window& window, int width, int height);

// How the window's pictures reach the screen, chosen once it is made; false
// (and one line on stderr) if nothing can show them.
bool OpenPresenter(Window& window);
void ClosePresenter(Window& window);
// Copies `area` of the back buffer to the screen; a failure is said on
// stderr once, and false.
bool Present(Window& window, const RECT& area);
// Fills `area` with the class brush; false if the class has none known.
bool EraseBackground(Window& window, const RECT& area);

// Client size from the outer size, once the window manager reports borders.
void SettleOuterSize(Window& window);

// Input and window events from SDL: acted on at once or queued as input.
// An event there is no memory for is dropped.
void HandleSdlEvent(const SDL_Event& event) noexcept;

// Timers: the next due time (false if none) and taking one due timer.
bool NextTimerDue(std::int64_t& dueUs);
bool TakeDueTimer(std::int64_t nowUs, MSG& msg);
void KillWindowTimers(HWND window);

}  // namespace koru::posix
