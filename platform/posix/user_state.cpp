// The one UserState, and finding windows and classes in it.
#include "user_state.h"

#include <cctype>
#include <new>

namespace koru::posix {

UserState& User()
{
    alignas(UserState) static unsigned char storage[sizeof(UserState)];
    static UserState* const state = new (storage) UserState;
    return *state;
}

std::string ClassKey(LPCSTR name)
{
    std::string key;
    for (const char* c = name; *c != '\0'; ++c) {
        key += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    }
    return key;
}

Window* LookUpWindow(HWND window)
{
    auto& windows = User().windows;
    const auto found = windows.find(reinterpret_cast<std::uintptr_t>(window));
    return found == windows.end() ? nullptr : found->second.get();
}

Window* LookUpSdlWindow(std::uint32_t sdlWindowId)
{
    for (auto& [handle, window] : User().windows) {
        if (window->sdlWindowId == sdlWindowId) {
            return window.get();
        }
    }
    return nullptr;
}

LRESULT SendToWindow(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    const Window* target = LookUpWindow(window);
    if (target == nullptr) {
        return 0;
    }
    const WNDPROC procedure = target->procedure;
    return procedure(window, message, wParam, lParam);
}

}  // namespace koru::posix
