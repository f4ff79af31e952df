// The windowed program as a whole process on Linux: without a display it
// says so in one line and fails at once; closing its window ends it even
// with a thread still running; losing the X server ends it without a hang
// or a core dump.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

// A child process with its stdout and stderr read through pipes.
class Child {
public:
    Child(const std::vector<std::string>& argv, const std::vector<std::string>& env)
    {
        int out[2];
        int err[2];
        if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
            return;
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (const std::string& entry : env) {
            envp.push_back(const_cast<char*>(entry.c_str()));
        }
        envp.push_back(nullptr);
        if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
            pid = -1;
        }
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        close(err[1]);
        outFd = out[0];
        errFd = err[0];
    }
    ~Child()
    {
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
        }
        if (outFd >= 0) {
            close(outFd);
        }
        if (errFd >= 0) {
            close(errFd);
        }
    }

    bool Started() const { return pid > 0; }

    // Reads output until `until` says enough, the process ends, or time runs out.
    bool ReadUntil(int timeoutMs, bool (*until)(const Child&))
    {
        const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (!until(*this)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return false;
            }
            pollfd fds[2] = {{outFd, POLLIN, 0}, {errFd, POLLIN, 0}};
            // The pipes close when the child ends, so poll wakes for that too.
            if (poll(fds, 2, static_cast<int>(std::min<long long>(left.count(), 50))) < 0) {
                return false;
            }
            if (fds[0].revents != 0) {
                Drain(outFd, out);
            }
            if (fds[1].revents != 0) {
                Drain(errFd, err);
            }
            if (outFd < 0 && errFd < 0) {
                exited = waitpid(pid, &status, 0) == pid;
                return until(*this);
            }
        }
        return true;
    }

    bool Wait(int timeoutMs)
    {
        return ReadUntil(timeoutMs, [](const Child& child) { return child.exited; });
    }

    pid_t pid = -1;
    int status = 0;
    bool exited = false;
    std::string out;
    std::string err;

private:
    // Appends what the pipe holds; closes it at its end.
    static void Drain(int& file, std::string& into)
    {
        char buffer[512];
        const ssize_t got = read(file, buffer, sizeof buffer);
        if (got > 0) {
            into.append(buffer, static_cast<std::size_t>(got));
        } else {
            close(file);
            file = -1;
        }
    }

    int outFd = -1;
    int errFd = -1;
};

std::vector<std::string> EnvironmentWithout(std::initializer_list<const char*> names)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool keep = true;
        for (const char* name : names) {
            const std::size_t length = std::strlen(name);
            keep = keep && !(std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=');
        }
        if (keep) {
            env.emplace_back(*entry);
        }
    }
    return env;
}

bool Painted(const Child& child)
{
    return child.out.find("painted") != std::string::npos || child.exited;
}

TEST(Process, WithoutDisplayOneLineAndFailure)
{
    Child probe({WINDOW_PROBE},
                EnvironmentWithout({"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}));
    ASSERT_TRUE(probe.Started());
    const auto start = Clock::now();
    ASSERT_TRUE(probe.Wait(5000)) << "still running without a display";
    const auto took = Clock::now() - start;
    ASSERT_TRUE(WIFEXITED(probe.status));
    EXPECT_NE(WEXITSTATUS(probe.status), 0);
    EXPECT_EQ(probe.err.rfind("koru-bench: cannot open a window: ", 0), 0u) << probe.err;
    EXPECT_EQ(std::count(probe.err.begin(), probe.err.end(), '\n'), 1) << probe.err;
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST(Process, ClosingEndsItDespiteARunningThread)
{
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X display";
    }
    Child probe({WINDOW_PROBE, "close"}, EnvironmentWithout({}));
    ASSERT_TRUE(probe.Started());
    ASSERT_TRUE(probe.Wait(5000)) << "did not end after closing its window";
    ASSERT_TRUE(WIFEXITED(probe.status));
    EXPECT_EQ(WEXITSTATUS(probe.status), 0) << probe.err;
    EXPECT_NE(probe.out.find("painted"), std::string::npos);
}

TEST(Process, LosingTheDisplayEndsItCleanly)
{
    // A private X server, to be killed under the running program.
    int number = 150 + static_cast<int>(getpid() % 100);
    const auto socketOf = [](int n) { return std::string("/tmp/.X11-unix/X").append(std::to_string(n)); };
    struct stat info;
    while (stat(socketOf(number).c_str(), &info) == 0) {
        ++number;
    }
    const std::string display = std::string(":").append(std::to_string(number));
    Child server({"Xvfb", display, "-screen", "0", "800x600x24", "-nolisten", "tcp"},
                 EnvironmentWithout({}));
    if (!server.Started()) {
        GTEST_SKIP() << "no Xvfb";
    }
    const std::string socket = socketOf(number);
    for (int i = 0; i < 100 && stat(socket.c_str(), &info) != 0; ++i) {
        usleep(50'000);
    }
    ASSERT_EQ(stat(socket.c_str(), &info), 0) << "Xvfb did not start: " << server.err;

    std::vector<std::string> env = EnvironmentWithout({"DISPLAY", "SDL_VIDEODRIVER"});
    env.push_back(std::string("DISPLAY=").append(display));
    Child probe({WINDOW_PROBE}, env);
    ASSERT_TRUE(probe.Started());
    ASSERT_TRUE(probe.ReadUntil(5000, Painted) && !probe.exited) << probe.err;

    kill(server.pid, SIGKILL);
    const auto start = Clock::now();
    ASSERT_TRUE(probe.Wait(5000)) << "hung after the display went away";
    const auto took = Clock::now() - start;
    EXPECT_TRUE(WIFEXITED(probe.status)) << "killed by signal " << WTERMSIG(probe.status);
    EXPECT_LT(took, std::chrono::seconds(3));
    // A killed server leaves its socket and lock file behind.
    unlink(socket.c_str());
    unlink(std::string("/tmp/.X").append(std::to_string(number)).append("-lock").c_str());
}

}  // namespace
