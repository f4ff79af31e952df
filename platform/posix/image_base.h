// The instance handle the runtime start-up gives WinMain: Windows' usual
// image base for a program, small enough for GetWindowLongA's 32-bit LONG
// to give it back intact.
#pragma once

#include <windows.h>

#include <cstdint>

namespace koru::posix {

constexpr std::uintptr_t IMAGE_BASE = 0x400000;

inline HINSTANCE ImageBase()
{
    return reinterpret_cast<HINSTANCE>(IMAGE_BASE);
}

}  // namespace koru::posix
