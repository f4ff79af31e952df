#include "process_start.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace koru::posix {

void PrepareProcess()
{
    // A process started with 0, 1 or 2 closed would hand those numbers to
    // the next files it opens (the X connection, the scratch file), and a
    // message meant for stderr, or a result meant for stdout, would land in
    // one of them.
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
    signal(SIGXFSZ, SIG_IGN);
}

}  // namespace koru::posix
