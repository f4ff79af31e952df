// Window classes, kept by name (case-insensitive, as on Windows), and the
// one cursor a class may name.
#include "user_state.h"

ATOM WINAPI RegisterClassA(const WNDCLASSA* windowClass)
try {
    using namespace koru::posix;
    // Atoms by number (MAKEINTATOM) are not supported: nothing here uses them.
    if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr ||
        reinterpret_cast<std::uintptr_t>(windowClass->lpszClassName) <= 0xFFFF) {
        return 0;
    }
    auto& classes = User().classes;
    const auto [where, added] = classes.emplace(
        ClassKey(windowClass->lpszClassName),
        WindowClass{windowClass->lpfnWndProc, windowClass->hbrBackground});
    if (!added) {
        return 0;
    }
    // String atoms on Windows lie in 0xC000..0xFFFF.
    return static_cast<ATOM>(0xC000 + classes.size());
} catch (...) {
    return 0;  // no memory for the class's name or record
}

HCURSOR WINAPI LoadCursorA(HINSTANCE instance, LPCSTR cursorName)
{
    // The system arrow is SDL's default cursor, so the handle only has to be
    // non-null; no other cursor is known.
    static int arrow;
    if (instance == nullptr && cursorName == IDC_ARROW) {
        return reinterpret_cast<HCURSOR>(&arrow);
    }
    return nullptr;
}
