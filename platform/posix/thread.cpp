// CreateThread over pthreads: the routine starts at once on a detached
// thread. The handle only identifies it; closing it does not stop it.
#include "kernel_object.h"

#include <new>

namespace {

struct ThreadStart {
    LPTHREAD_START_ROUTINE routine;
    LPVOID parameter;
};

void* ThreadTrampoline(void* raw)
{
    const ThreadStart start = *static_cast<ThreadStart*>(raw);
    delete static_cast<ThreadStart*>(raw);
    start.routine(start.parameter);
    return nullptr;
}

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, std::size_t stackSize,
                           LPTHREAD_START_ROUTINE startAddress, LPVOID parameter, DWORD,
                           LPDWORD threadId)
{
    using koru::posix::KernelObject;
    auto* start = new (std::nothrow) ThreadStart{startAddress, parameter};
    auto* object = new (std::nothrow) KernelObject{koru::posix::KernelKind::THREAD, -1, {}, nullptr};
    if (start == nullptr || object == nullptr) {
        delete start;
        delete object;
        return nullptr;
    }
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        pthread_attr_setstacksize(&attributes, stackSize);
    }
    const int failed = pthread_create(&object->thread, &attributes, ThreadTrampoline, start);
    pthread_attr_destroy(&attributes);
    if (failed) {
        delete start;
        delete object;
        return nullptr;
    }
    if (threadId != nullptr) {
        *threadId = 0;  // nothing here asks for it
    }
    return object;
}
