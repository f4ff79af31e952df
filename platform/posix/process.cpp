// Child processes over posix_spawn, for the terminal program, which starts
// itself again for each of several runs: GetModuleFileNameA, CreateProcessA,
// WaitForSingleObject, GetExitCodeProcess and TerminateProcess.
//
// - GetModuleFileNameA(NULL) names the running executable as
//   /proc/self/exe, which opens the very file this process runs even once
//   an upgrade has replaced or removed it, so that every run of one
//   invocation measures the same program.
// - CreateProcessA runs the application name with the words of the command
//   line as its argv (blanks separate words, double quotes group them; no
//   escapes, since nothing here passes a quote inside a word). The child
//   stays in this process's group, so a terminal's Ctrl-C reaches it too.
//   With STARTF_USESTDHANDLES its 0, 1 and 2 are the three handles given;
//   it inherits every inheritable descriptor, so the handles must be asked
//   to be inherited, as on Windows. Only what the program uses is offered:
//   no creation flags, environment or directory of its own.
// - A child killed by a signal ends with 128 + the signal's number, as the
//   shell reports it; one ended by TerminateProcess with the code given.
// - Waiting blocks on a pidfd; where the kernel has none (before Linux 5.3)
//   it looks every 10 ms instead. Each wait or exit code that finds the
//   child ended reaps it; closing a handle to a child not yet reaped leaves
//   it a zombie until this process ends (the program always waits first).
#include "kernel_object.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <vector>

extern char** environ;

namespace koru::posix {

struct ChildProcess {
    pid_t pid;
    int pidfd;  // -1 where the kernel has none
    std::mutex lock;
    bool reaped = false;
    bool terminated = false;  // TerminateProcess asked for `terminateCode`
    DWORD terminateCode = 0;
    DWORD exitCode = STILL_ACTIVE;
};

void ForgetChildProcess(ChildProcess* process)
{
    if (process != nullptr && process->pidfd >= 0) {
        close(process->pidfd);
    }
    delete process;
}

}  // namespace koru::posix

namespace {

using koru::posix::ChildProcess;
using koru::posix::KernelKind;
using koru::posix::KernelObject;
using koru::posix::FailWith;
using koru::posix::SetLastErrorCode;

constexpr char OWN_EXECUTABLE[] = "/proc/self/exe";
constexpr long LOOK_AGAIN_NS = 10'000'000;

ChildProcess* ChildOf(HANDLE handle)
{
    const KernelObject* object = koru::posix::ToKernelObject(handle);
    return object != nullptr && object->kind == KernelKind::PROCESS ? object->process : nullptr;
}

// Reaps the child if it has ended; whether it has. The caller holds its lock.
bool ReapIfEnded(ChildProcess& child)
{
    if (child.reaped) {
        return true;
    }
    int status = 0;
    pid_t got;
    do {
        got = waitpid(child.pid, &status, WNOHANG);
    } while (got < 0 && errno == EINTR);
    if (got != child.pid) {
        return false;
    }
    child.reaped = true;
    if (WIFEXITED(status)) {
        child.exitCode = static_cast<DWORD>(WEXITSTATUS(status));
    } else if (child.terminated && WTERMSIG(status) == SIGKILL) {
        child.exitCode = child.terminateCode;
    } else {
        child.exitCode = 128 + static_cast<DWORD>(WTERMSIG(status));
    }
    return true;
}

bool Reaped(ChildProcess& child)
{
    const std::lock_guard<std::mutex> hold(child.lock);
    return ReapIfEnded(child);
}

std::int64_t NowNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
}

// Waits up to `waitNs` for the child to end, without reaping it.
void AwaitEnd(const ChildProcess& child, std::int64_t waitNs)
{
    if (child.pidfd >= 0) {
        pollfd watched = {child.pidfd, POLLIN, 0};
        const int timeoutMs = waitNs > 0 ? static_cast<int>((waitNs + 999'999) / 1'000'000) : 0;
        poll(&watched, 1, timeoutMs);  // an early return (EINTR) only looks sooner
        return;
    }
    const timespec pause = {0, waitNs < LOOK_AGAIN_NS ? static_cast<long>(waitNs) : LOOK_AGAIN_NS};
    nanosleep(&pause, nullptr);
}

// Through syscall(2): Debian 12's <sys/pidfd.h> declares pidfd_open
// without C linkage. -1 where the kernel has no pidfd.
int OpenPidfd(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    static_cast<void>(pid);
    return -1;
#endif
}

std::vector<std::string> Words(const char* commandLine)
{
    std::vector<std::string> words;
    const char* at = commandLine;
    for (;;) {
        while (*at == ' ' || *at == '\t') {
            ++at;
        }
        if (*at == '\0') {
            return words;
        }
        std::string word;
        bool quoted = false;
        for (; *at != '\0' && (quoted || (*at != ' ' && *at != '\t')); ++at) {
            if (*at == '"') {
                quoted = !quoted;
            } else {
                word += *at;
            }
        }
        words.push_back(word);
    }
}

// The descriptors a child's 0, 1 and 2 are made from, copied above 2 first
// so that putting one in place cannot overwrite another still to come.
struct StandardCopies {
    int fds[3] = {-1, -1, -1};
    ~StandardCopies()
    {
        for (const int fd : fds) {
            if (fd >= 0) {
                close(fd);
            }
        }
    }
};

}  // namespace

DWORD WINAPI GetModuleFileNameA(HMODULE module, LPSTR fileName, DWORD size)
{
    if (module != nullptr) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);  // only the program's own module is known
        return 0;
    }
    if (fileName == nullptr || size == 0) {
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    // As Windows since Vista: a name that does not fit is cut, ended, and
    // the whole size returned.
    const DWORD length = sizeof OWN_EXECUTABLE - 1;
    if (length >= size) {
        std::memcpy(fileName, OWN_EXECUTABLE, size - 1);
        fileName[size - 1] = '\0';
        SetLastErrorCode(ERROR_INSUFFICIENT_BUFFER);
        return size;
    }
    std::memcpy(fileName, OWN_EXECUTABLE, length + 1);
    return length;
}

BOOL WINAPI CreateProcessA(LPCSTR applicationName, LPSTR commandLine, LPSECURITY_ATTRIBUTES,
                           LPSECURITY_ATTRIBUTES, BOOL inheritHandles, DWORD creationFlags,
                           LPVOID environment, LPCSTR currentDirectory, LPSTARTUPINFOA startupInfo,
                           LPPROCESS_INFORMATION processInformation)
try {
    if (applicationName == nullptr || startupInfo == nullptr || processInformation == nullptr ||
        !inheritHandles || creationFlags != 0 || environment != nullptr || currentDirectory != nullptr) {
        return FailWith(ERROR_INVALID_PARAMETER);
    }
    std::vector<std::string> words = Words(commandLine != nullptr ? commandLine : applicationName);
    if (words.empty()) {
        words.emplace_back(applicationName);
    }
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);

    StandardCopies copies;
    posix_spawn_file_actions_t actions;
    if (posix_spawn_file_actions_init(&actions) != 0) {
        return FailWith(ERROR_NOT_ENOUGH_MEMORY);
    }
    int failed = 0;
    if ((startupInfo->dwFlags & STARTF_USESTDHANDLES) != 0) {
        const HANDLE given[3] = {startupInfo->hStdInput, startupInfo->hStdOutput, startupInfo->hStdError};
        for (int target = 0; target < 3 && failed == 0; ++target) {
            const int fd = koru::posix::DescriptorOf(given[target]);
            if (fd < 0) {
                // No handle: /dev/null there, as the child's own start-up would give it.
                failed = posix_spawn_file_actions_addopen(&actions, target, "/dev/null", O_RDWR, 0);
                continue;
            }
            copies.fds[target] = fcntl(fd, F_DUPFD_CLOEXEC, 3);
            failed = copies.fds[target] < 0 ? errno
                                            : posix_spawn_file_actions_adddup2(&actions, copies.fds[target], target);
        }
    }
    auto* child = new (std::nothrow) ChildProcess{};
    auto* process = new (std::nothrow) KernelObject{KernelKind::PROCESS, -1, {}, child};
    auto* thread = new (std::nothrow) KernelObject{KernelKind::THREAD, -1, {}, nullptr};
    if (failed == 0 && (child == nullptr || process == nullptr || thread == nullptr)) {
        failed = ENOMEM;
    }
    pid_t pid = -1;
    if (failed == 0) {
        failed = posix_spawn(&pid, applicationName, &actions, nullptr, argv.data(), environ);
    }
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        delete child;
        delete process;
        delete thread;
        return FailWith(koru::posix::ErrorCodeOf(failed));
    }
    child->pid = pid;
    // The child cannot be reaped before this, so its pid is still its own.
    child->pidfd = OpenPidfd(pid);
    *processInformation = {process, thread, static_cast<DWORD>(pid), 0};
    return TRUE;
} catch (...) {
    return FailWith(ERROR_NOT_ENOUGH_MEMORY);  // no memory for the words
}

DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds)
{
    ChildProcess* child = ChildOf(object);
    if (child == nullptr) {
        SetLastErrorCode(ERROR_INVALID_HANDLE);  // only processes are waited for here
        return WAIT_FAILED;
    }
    const std::int64_t deadline = NowNs() + static_cast<std::int64_t>(milliseconds) * 1'000'000;
    for (;;) {
        if (Reaped(*child)) {
            return WAIT_OBJECT_0;
        }
        const std::int64_t left = milliseconds == INFINITE ? LOOK_AGAIN_NS * 100 : deadline - NowNs();
        if (left <= 0) {
            return WAIT_TIMEOUT;
        }
        AwaitEnd(*child, left);
    }
}

BOOL WINAPI GetExitCodeProcess(HANDLE process, LPDWORD exitCode)
{
    ChildProcess* child = ChildOf(process);
    if (child == nullptr || exitCode == nullptr) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    const std::lock_guard<std::mutex> hold(child->lock);
    ReapIfEnded(*child);
    *exitCode = child->exitCode;
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE process, UINT exitCode)
{
    ChildProcess* child = ChildOf(process);
    if (child == nullptr) {
        return FailWith(ERROR_INVALID_HANDLE);
    }
    // Under the lock, before it is reaped, the pid cannot be anybody else's.
    const std::lock_guard<std::mutex> hold(child->lock);
    if (ReapIfEnded(*child)) {
        return FailWith(ERROR_ACCESS_DENIED);  // as Windows answers for a process that has ended
    }
    child->terminated = true;
    child->terminateCode = exitCode;
    kill(child->pid, SIGKILL);
    return TRUE;
}
