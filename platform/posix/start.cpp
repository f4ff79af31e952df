// The runtime start-up: calls WinMain as Windows' C runtime does and ends
// the process with its result at once, taking any other thread with it.
#include "user_backend.h"

#include <SDL.h>
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
    // benchmark worker may still be running and using them.
    std::fflush(nullptr);
    SDL_Quit();
    _exit(code);
}
