// GetLastError: a code per thread, as on Windows, set by the pipe and
// process operations from the errno value that made them fail.
#include "kernel_object.h"

#include <cerrno>

namespace {

thread_local DWORD lastError = 0;

}  // namespace

namespace koru::posix {

void SetLastErrorCode(DWORD error)
{
    lastError = error;
}

DWORD ErrorCodeOf(int errnoValue)
{
    switch (errnoValue) {
    case ENOENT:
    case ENOTDIR: return ERROR_FILE_NOT_FOUND;
    case EACCES:
    case EPERM: return ERROR_ACCESS_DENIED;
    case EBADF: return ERROR_INVALID_HANDLE;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENOMEM:
    case EAGAIN: return ERROR_NOT_ENOUGH_MEMORY;
    case ENOEXEC: return ERROR_BAD_EXE_FORMAT;
    case EPIPE: return ERROR_BROKEN_PIPE;
    case EINVAL: return ERROR_INVALID_PARAMETER;
    default: return ERROR_GEN_FAILURE;
    }
}

}  // namespace koru::posix

DWORD WINAPI GetLastError(void)
{
    return lastError;
}
