// The runtime start-up: calls WinMain as Windows' C runtime does and ends
// the process with its result at once, taking any other thread with it.
#include "user_backend.h"

#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    // Windows passes the arguments after the program name as one string.
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            commandLine += ' ';
        }
        commandLine += argv[i];
    }
    // Windows' usual image base: small enough for GetWindowLongA's 32-bit
    // LONG to give it back intact.
    const auto instance = reinterpret_cast<HINSTANCE>(std::uintptr_t{0x400000});
    int code = WinMain(instance, nullptr, commandLine.data(), SW_SHOWDEFAULT);
    // A program that never got its window failed, whatever WinMain says.
    if (code == 0 && !koru::posix::User().windowEverCreated) {
        code = 1;
    }
    // _exit, not return: returning would run static destructors while the
    // benchmark worker may still be running and using them. No SDL_Quit
    // either: it puts Xlib's own error handler back before closing the
    // display, and an error still on its way from the last requests (a
    // window just destroyed) would then print and exit(1). The X server
    // lets go of everything when the connection closes.
    std::fflush(nullptr);
    _exit(code);
}
