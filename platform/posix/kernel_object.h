// What a kernel32 HANDLE points to on Linux: a small tagged record, so that
// CloseHandle can tell a file from a thread, as Windows does.
#pragma once

#include <windows.h>

#include <pthread.h>

namespace koru::posix {

// STANDARD: one of the three standard descriptors, as GetStdHandle hands it
// out; it lives as long as the process and is never closed by the layer.
enum class KernelKind { FILE, THREAD, STANDARD };

struct KernelObject {
    KernelKind kind;
    int fd;            // FILE, STANDARD
    pthread_t thread;  // THREAD (detached: it ends on its own)
};

inline KernelObject* ToKernelObject(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    return static_cast<KernelObject*>(handle);
}

}  // namespace koru::posix
