// CreateFileA, WriteFile and CloseHandle over POSIX descriptors, for the
// scratch file; CloseHandle also lets go of the other kinds of handle.
//
// - Files are opened only as the program opens its scratch file: for
//   writing, made or cut to nothing (GENERIC_WRITE, CREATE_ALWAYS).
// - Files on drive C are opened in its directory (drive_c.h), which is
//   checked once and held open; only a regular file with one link that
//   belongs to the user is written.
// - The final path component is never followed if it is a symbolic link
//   (O_NOFOLLOW), and an open never waits (O_NONBLOCK): a FIFO planted at
//   the name must not hang the program.
// - New files are private (0600).
// - Share mode 0 is given by an exclusive advisory lock taken before
//   truncating, so a second instance fails to open rather than garbling the
//   file the first is writing, as on Windows.
#include "drive_c.h"
#include "file_path.h"
#include "kernel_object.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <new>
#include <string>

namespace {

using koru::posix::KernelKind;
using koru::posix::KernelObject;

constexpr int OPEN_FLAGS = O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK;

// A path off drive C, checked on every open.
int OpenPath(const char* fileName)
{
    std::string path;
    if (!koru::posix::MapWindowsPath(fileName, path)) {
        return -1;
    }
    int fd;
    do {
        fd = open(path.c_str(), OPEN_FLAGS, 0600);
    } while (fd < 0 && errno == EINTR);
    if (fd >= 0 && !koru::posix::FitForWriting(fd)) {
        close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD, HANDLE)
try {
    if (desiredAccess != GENERIC_WRITE || disposition != CREATE_ALWAYS) {
        return INVALID_HANDLE_VALUE;
    }
    const char* onDriveC = koru::posix::DriveCRest(fileName);
    const int fd = onDriveC != nullptr ? koru::posix::OpenDriveCFile(onDriveC, OPEN_FLAGS)
                                       : OpenPath(fileName);
    if (fd < 0) {
        return INVALID_HANDLE_VALUE;
    }
    if (shareMode == 0 && flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    // Truncate only once the file is ours: O_TRUNC would cut a file that
    // another instance holds.
    if (ftruncate(fd, 0) != 0) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    auto* object = new (std::nothrow) KernelObject{KernelKind::FILE, fd, {}, nullptr};
    if (object == nullptr) {
        close(fd);
        return INVALID_HANDLE_VALUE;
    }
    return object;
} catch (...) {
    return INVALID_HANDLE_VALUE;  // no memory for a path or for the directory's record
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED)
{
    // Windows stores the count before any other work or check.
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    KernelObject* object = koru::posix::ToKernelObject(file);
    if (object == nullptr || object->kind != KernelKind::FILE) {
        return FALSE;
    }
    const auto* bytes = static_cast<const char*>(buffer);
    DWORD done = 0;
    while (done < bytesToWrite) {
        const ssize_t n = write(object->fd, bytes + done, bytesToWrite - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            // Disk full, past the file-size limit, or an I/O error: report
            // what was written.
            koru::posix::SayWriteStoppedShort(errno);
            break;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    return done == bytesToWrite;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    KernelObject* object = koru::posix::ToKernelObject(handle);
    if (object == nullptr) {
        return FALSE;
    }
    if (object->kind == KernelKind::STANDARD) {
        return TRUE;  // the record is the layer's own, for the whole process
    }
    if (object->kind == KernelKind::FILE) {
        close(object->fd);
    } else if (object->kind == KernelKind::PROCESS) {
        koru::posix::ForgetChildProcess(object->process);
    }
    delete object;
    return TRUE;
}
