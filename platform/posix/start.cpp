// The runtime start-up: calls WinMain as Windows' C runtime does and ends
// the process with its result at once, taking any other thread with it.
#include "image_base.h"
#include "user_state.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <string>

namespace {

// A process started with 0, 1 or 2 closed would hand those numbers to the
// next files it opens (the X connection, the scratch file), and a message
// meant for stderr would land in one of them.
void FillStandardDescriptors()
{
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
        if (fcntl(fd, F_GETFD) != -1) {
            continue;
        }
        // The lower ones are open by now, so this takes `fd` itself.
        const int null = open("/dev/null", O_RDWR);
        if (null >= 0 && null != fd) {
            dup2(null, fd);
            close(null);
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    FillStandardDescriptors();
    // A write past the file-size limit (ulimit -f) then fails with EFBIG, as
    // a full disk does, instead of killing the process.
    signal(SIGXFSZ, SIG_IGN);
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
