// The runtime start-up: calls WinMain as Windows' C runtime does and ends
// the process with its result at once, taking any other thread with it.
#include "image_base.h"
#include "process_start.h"
#include "user_state.h"

#include <unistd.h>

#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    koru::posix::PrepareProcess();
    // Windows passes the arguments after the program name as one string.
    std::string commandLine;
    try {
        for (int i = 1; i < argc; ++i) {
            if (i > 1) {
                commandLine += ' ';
            }
            commandLine += argv[i];
        }
    } catch (...) {
        commandLine.clear();  // no memory for it: the program reads none anyway
    }
    int code = WinMain(koru::posix::ImageBase(), nullptr, commandLine.data(), SW_SHOWDEFAULT);
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
