// What a kernel32 HANDLE points to on Linux: a small tagged record, so that
// CloseHandle can tell a file from a thread or a process, as Windows does.
#pragma once

#include <windows.h>

#include <pthread.h>

namespace koru::posix {

// FILE: a descriptor of the layer's own, a file or one end of a pipe.
// STANDARD: one of the three standard descriptors, as GetStdHandle hands it
// out; it lives as long as the process and is never closed by the layer.
// PROCESS: a child started by CreateProcessA.
enum class KernelKind { FILE, THREAD, STANDARD, PROCESS };

struct ChildProcess;  // process.cpp

struct KernelObject {
    KernelKind kind;
    int fd;                 // FILE, STANDARD
    pthread_t thread;       // THREAD (detached: it ends on its own)
    ChildProcess* process;  // PROCESS
};

inline KernelObject* ToKernelObject(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<KernelObject*>(handle);
}

// The descriptor behind a FILE or STANDARD handle; -1 for any other.
inline int DescriptorOf(HANDLE handle)
{
    const KernelObject* object = ToKernelObject(handle);
    if (object == nullptr || (object->kind != KernelKind::FILE && object->kind != KernelKind::STANDARD)) {
        return -1;
    }
    return object->fd;
}

// What CloseHandle lets go of a PROCESS handle (process.cpp).
void ForgetChildProcess(ChildProcess* process);

// Sets what GetLastError returns on this thread (last_error.cpp).
void SetLastErrorCode(DWORD error);
// A failed call's answer: the code for GetLastError, and FALSE.
inline BOOL FailWith(DWORD error)
{
    SetLastErrorCode(error);
    return FALSE;
}
// The Win32 code closest to a POSIX errno value.
DWORD ErrorCodeOf(int errnoValue);

}  // namespace koru::posix
