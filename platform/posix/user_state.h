// The window side's records on Linux: every window, class, queued message
// and timer lives in one UserState, reached through User(). All of it
// belongs to the window thread; nothing here is locked.
//
// The window side's files and who calls whom, from the bottom: this one,
// which calls none of them; video.cpp (SDL video) and window_manager.cpp
// (Xlib), which use no record here; present.cpp, timer.cpp and
// window_class.cpp; paint.cpp, which presents; window_events.cpp, which
// paints and presents; and on top window.cpp and message_queue.cpp, the
// Win32 entries that use the rest. No file calls one above it.
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

namespace koru::posix {

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
    // Each pixel of the client area (the back buffer, what the program
    // paints) is a square of scale x scale screen pixels, centred in the
    // screen's client area on the class brush (see desktop_scale.h). Fixed
    // when the window opens.
    int scale = 1;
    int screenWidth;  // the client area in screen pixels, as X has it
    int screenHeight;
    bool frameFitted;  // the window manager's frame is known and taken off the client area
    // Back buffer of the client area, 0x00RRGGBB. It keeps the picture
    // between paints, whatever the video driver does with its own surface.
    std::unique_ptr<std::uint32_t[]> pixels;
    int width;
    int height;
    // The update region and the paint in progress: paint.cpp's alone.
    RECT update;  // bounding rectangle of the update region; empty if none
    bool updateErase;
    RECT paintArea;  // between BeginPaint and EndPaint
    bool painting;
    bool paintErased;  // the class brush filled some of it since BeginPaint
    bool visible;  // changed through SetVisible (paint.cpp), which keeps the update region right
    bool destroying;
};

struct Timer {
    HWND window;
    UINT_PTR id;
    std::int64_t periodUs;
    std::int64_t dueUs;  // on timer.cpp's clock
};

struct UserState {
    std::map<std::string, WindowClass> classes;  // by ClassKey
    std::map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::uintptr_t lastHandle = 0;
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

}  // namespace koru::posix
