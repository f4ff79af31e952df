// The console operations of a terminal program over POSIX: the standard
// handles, whether one is a terminal, the control handlers and the end of
// the process.
//
// - A console is a terminal: GetConsoleMode succeeds on a standard handle
//   that is one (isatty), and fails on a pipe or a file, as on Windows.
// - Ctrl-C (SIGINT) is CTRL_C_EVENT and a closed terminal (SIGHUP)
//   CTRL_CLOSE_EVENT. As on Windows, the handlers run on a thread of their
//   own, newest first, never inside the signal handler: that only passes the
//   event on through a pipe. When no handler takes the event, the process
//   ends the way the signal ends it.
#include "kernel_object.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace {

using koru::posix::KernelKind;
using koru::posix::KernelObject;

KernelObject standardHandles[] = {{KernelKind::STANDARD, STDIN_FILENO, {}, nullptr},
                                  {KernelKind::STANDARD, STDOUT_FILENO, {}, nullptr},
                                  {KernelKind::STANDARD, STDERR_FILENO, {}, nullptr}};

constexpr int MOST_HANDLERS = 8;

struct ControlHandlers {
    std::mutex lock;
    PHANDLER_ROUTINE routines[MOST_HANDLERS] = {};
    int count = 0;
    bool started = false;
};

ControlHandlers& TheControlHandlers()
{
    static ControlHandlers* const handlers = new ControlHandlers;  // never destroyed: its thread outlives main
    return *handlers;
}

// The pipe's write end, for the signal handler; -1 until the thread runs.
volatile sig_atomic_t eventPipe = -1;

void PassEventOn(int signalNumber)
{
    const int savedErrno = errno;
    const unsigned char event = signalNumber == SIGINT ? CTRL_C_EVENT : CTRL_CLOSE_EVENT;
    // A full pipe drops the event: the ones already in it end the process.
    [[maybe_unused]] const ssize_t written = write(eventPipe, &event, 1);
    errno = savedErrno;
}

void EndAsTheSignalDoes(int signalNumber)
{
    signal(signalNumber, SIG_DFL);
    raise(signalNumber);
}

void* ControlThread(void* rawReadEnd)
{
    pthread_setname_np(pthread_self(), "koru-console");
    const int readEnd = static_cast<int>(reinterpret_cast<std::intptr_t>(rawReadEnd));
    ControlHandlers& handlers = TheControlHandlers();
    for (;;) {
        unsigned char event;
        const ssize_t got = read(readEnd, &event, 1);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got != 1) {
            return nullptr;
        }
        PHANDLER_ROUTINE routines[MOST_HANDLERS];
        int count;
        {
            const std::lock_guard<std::mutex> hold(handlers.lock);
            count = handlers.count;
            for (int i = 0; i < count; ++i) {
                routines[i] = handlers.routines[i];
            }
        }
        bool handled = false;
        for (int i = count - 1; i >= 0 && !handled; --i) {
            handled = routines[i](event) != FALSE;
        }
        if (!handled) {
            EndAsTheSignalDoes(event == CTRL_C_EVENT ? SIGINT : SIGHUP);
        }
    }
}

// The pipe, the thread that reads it and the signal handlers; the caller
// holds the lock.
bool StartPassingEvents()
{
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        return false;
    }
    fcntl(ends[1], F_SETFL, O_NONBLOCK);  // the signal handler must never wait
    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, ControlThread,
                                        reinterpret_cast<void*>(static_cast<std::intptr_t>(ends[0]))) == 0;
    pthread_attr_destroy(&attributes);
    if (!started) {
        close(ends[0]);
        close(ends[1]);
        return false;
    }
    eventPipe = ends[1];
    struct sigaction action = {};
    action.sa_handler = PassEventOn;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // the program's own reads, writes and sleeps go on
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    return true;
}

}  // namespace

HANDLE WINAPI GetStdHandle(DWORD standardHandle)
{
    switch (standardHandle) {
    case STD_INPUT_HANDLE: return &standardHandles[0];
    case STD_OUTPUT_HANDLE: return &standardHandles[1];
    case STD_ERROR_HANDLE: return &standardHandles[2];
    default: return INVALID_HANDLE_VALUE;
    }
}

BOOL WINAPI GetConsoleMode(HANDLE console, LPDWORD mode)
{
    const KernelObject* object = koru::posix::ToKernelObject(console);
    if (object == nullptr || object->kind == KernelKind::THREAD || isatty(object->fd) != 1) {
        return FALSE;
    }
    if (mode != nullptr) {
        // ENABLE_PROCESSED_OUTPUT | ENABLE_WRAP_AT_EOL_OUTPUT, which is what
        // a terminal does with what is written to it.
        *mode = 0x1 | 0x2;
    }
    return TRUE;
}

BOOL WINAPI SetConsoleCtrlHandler(PHANDLER_ROUTINE routine, BOOL add)
{
    if (routine == nullptr || !add) {
        return FALSE;  // ignoring Ctrl-C, or taking a handler back: nothing here asks for it
    }
    ControlHandlers& handlers = TheControlHandlers();
    const std::lock_guard<std::mutex> hold(handlers.lock);
    if (handlers.count == MOST_HANDLERS) {
        return FALSE;
    }
    if (!handlers.started) {
        handlers.started = StartPassingEvents();
        if (!handlers.started) {
            return FALSE;
        }
    }
    handlers.routines[handlers.count++] = routine;
    return TRUE;
}

void WINAPI ExitProcess(UINT exitCode)
{
    // _exit, not exit: static destructors must not run while the benchmark
    // worker may still be using what they destroy.
    std::fflush(nullptr);
    _exit(static_cast<int>(exitCode));
}
