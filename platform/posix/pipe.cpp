// CreatePipe, ReadFile, PeekNamedPipe and SetHandleInformation over POSIX
// pipes, for the terminal program reading what its runs send it.
//
// - A handle is inheritable when its descriptor lacks FD_CLOEXEC: a child
//   that CreateProcessA starts gets every inheritable one, as on Windows.
// - ReadFile reads what is there, at least a byte, waiting for it; with
//   nothing left and the write end closed it fails with ERROR_BROKEN_PIPE,
//   as Windows does for a pipe (only pipes are read here).
// - PeekNamedPipe tells how many bytes wait, without reading or waiting;
//   with none and the write end closed it fails with ERROR_BROKEN_PIPE.
//   It only counts: a buffer to copy into is refused.
#include "kernel_object.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace {

using koru::posix::KernelKind;
using koru::posix::KernelObject;
using koru::posix::FailWith;
using koru::posix::SetLastErrorCode;

bool SetInheritable(int fd, bool inheritable)
{
    const int flags = fcntl(fd, F_GETFD);
    return flags != -1 && fcntl(fd, F_SETFD, inheritable ? flags & ~FD_CLOEXEC : flags | FD_CLOEXEC) == 0;
}

// Whether the write end of the pipe read through `fd` is closed everywhere.
bool WriterGone(int fd)
{
    pollfd watched = {fd, POLLIN, 0};
    return poll(&watched, 1, 0) == 1 && (watched.revents & POLLHUP) != 0;
}

}  // namespace

BOOL WINAPI CreatePipe(HANDLE* readPipe, HANDLE* writePipe, LPSECURITY_ATTRIBUTES attributes, DWORD)
{
    if (readPipe == nullptr || writePipe == nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return FailWith(koru::posix::ErrorCodeOf(errno));
    }
    const bool inheritable = attributes != nullptr && attributes->bInheritHandle;
    auto* readEnd = new (std::nothrow) KernelObject{KernelKind::FILE, ends[0], {}, nullptr};
    auto* writeEnd = new (std::nothrow) KernelObject{KernelKind::FILE, ends[1], {}, nullptr};
    if (readEnd == nullptr || writeEnd == nullptr ||
        (inheritable && !(SetInheritable(ends[0], true) && SetInheritable(ends[1], true)))) {
        const int error = readEnd == nullptr || writeEnd == nullptr ? ENOMEM : errno;
        delete readEnd;
        delete writeEnd;
        close(ends[0]);
        close(ends[1]);
        return FailWith(koru::posix::ErrorCodeOf(error));
    }
    *readPipe = readEnd;
    *writePipe = writeEnd;
    return TRUE;
}

BOOL WINAPI SetHandleInformation(HANDLE object, DWORD mask, DWORD flags)
{
    const int fd = koru::posix::DescriptorOf(object);
    if (fd < 0) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if ((mask & HANDLE_FLAG_INHERIT) != 0 && !SetInheritable(fd, (flags & HANDLE_FLAG_INHERIT) != 0)) {
        return FailWith(koru::posix::ErrorCodeOf(errno));
    }
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, LPOVERLAPPED)
{
    // As WriteFile, the count is stored before anything else.
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    const int fd = koru::posix::DescriptorOf(file);
    if (fd < 0) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    ssize_t got;
    do {
        got = read(fd, buffer, bytesToRead);
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
        return FailWith(koru::posix::ErrorCodeOf(errno));
    }
    if (got == 0 && bytesToRead > 0) {
        return FailWith(ERROR_BROKEN_PIPE);
    }
    if (bytesRead != nullptr) {
        *bytesRead = static_cast<DWORD>(got);
    }
    return TRUE;
}

BOOL WINAPI PeekNamedPipe(HANDLE pipe, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead,
                          LPDWORD totalBytesAvailable, LPDWORD bytesLeftThisMessage)
{
    const int fd = koru::posix::DescriptorOf(pipe);
    if (fd < 0) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    if (buffer != nullptr && bufferSize > 0) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    int waiting = 0;
    if (ioctl(fd, FIONREAD, &waiting) != 0) {
        return FailWith(koru::posix::ErrorCodeOf(errno));
    }
    if (waiting == 0 && WriterGone(fd)) {
        return FailWith(ERROR_BROKEN_PIPE);
    }
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (totalBytesAvailable != nullptr) {
        *totalBytesAvailable = static_cast<DWORD>(waiting);
    }
    if (bytesLeftThisMessage != nullptr) {
        *bytesLeftThisMessage = 0;
    }
    return TRUE;
}
