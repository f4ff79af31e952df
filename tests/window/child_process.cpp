#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

extern char** environ;

namespace proc {

using Clock = std::chrono::steady_clock;

Child::Child(const Spawn& spawn)
{
    int pipes[3][2];
    for (auto& ends : pipes) {
        if (pipe2(ends, O_CLOEXEC) != 0) {
            return;
        }
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Descriptor 3 first, while the pipes' own numbers are all still open.
    posix_spawn_file_actions_adddup2(&actions, pipes[2][1], 3);
    if (spawn.closeStandard) {
        for (int fd = 0; fd <= 2; ++fd) {
            posix_spawn_file_actions_addclose(&actions, fd);
        }
    } else {
        posix_spawn_file_actions_adddup2(&actions, pipes[0][1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, pipes[1][1], STDERR_FILENO);
    }
    std::vector<char*> args;
    for (const std::string& arg : spawn.argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> envp;
    for (const std::string& entry : spawn.env) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) != 0) {
        pid = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    for (int i = 0; i < 3; ++i) {
        close(pipes[i][1]);
        fds[i] = pipes[i][0];
    }
}

Child::~Child()
{
    if (pid > 0 && !exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    for (int fd : fds) {
        if (fd >= 0) {
            close(fd);
        }
    }
}

bool Child::ReadUntil(int timeoutMs, bool (*until)(const Child&))
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    std::string* into[3] = {&out, &err, &report};
    while (!until(*this)) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            return false;
        }
        pollfd polled[3];
        for (int i = 0; i < 3; ++i) {
            polled[i] = {fds[i], POLLIN, 0};  // a negative descriptor is skipped
        }
        // The pipes close when the child ends, so poll wakes for that too.
        if (poll(polled, 3, static_cast<int>(std::min<long long>(left.count(), 50))) < 0) {
            return false;
        }
        for (int i = 0; i < 3; ++i) {
            if (polled[i].revents == 0) {
                continue;
            }
            char buffer[512];
            const ssize_t got = read(fds[i], buffer, sizeof buffer);
            if (got > 0) {
                into[i]->append(buffer, static_cast<std::size_t>(got));
            } else {
                close(fds[i]);
                fds[i] = -1;
            }
        }
        if (std::all_of(std::begin(fds), std::end(fds), [](int fd) { return fd < 0; })) {
            exited = waitpid(pid, &status, 0) == pid;
            return until(*this);
        }
    }
    return true;
}

bool Child::Wait(int timeoutMs)
{
    return ReadUntil(timeoutMs, [](const Child& child) { return child.exited; });
}

std::vector<std::string> Environment(std::initializer_list<const char*> without,
                                     std::initializer_list<std::string> extra)
{
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        bool keep = true;
        for (const char* name : without) {
            const std::size_t length = std::strlen(name);
            keep = keep && !(std::strncmp(*entry, name, length) == 0 && (*entry)[length] == '=');
        }
        if (keep) {
            env.emplace_back(*entry);
        }
    }
    env.insert(env.end(), extra.begin(), extra.end());
    return env;
}

XServer::XServer(int depth, const std::string& size)
{
    const std::string screen = size + "x" + std::to_string(depth);
    server = new Child({{"Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp",
                         "-noreset"},
                        Environment({})});
    if (!server->Started()) {
        return;
    }
    // Xvfb writes the number it took, then a newline, once it listens.
    if (server->ReadUntil(10000, [](const Child& child) {
            return child.report.find('\n') != std::string::npos;
        })) {
        name = std::string(":").append(server->report, 0, server->report.find('\n'));
    }
}

XServer::~XServer()
{
    if (server != nullptr && server->Started() && !server->exited) {
        // SIGTERM: Xvfb removes its socket and lock file itself.
        kill(server->pid, SIGTERM);
        server->Wait(5000);
    }
    delete server;
}

void XServer::Kill()
{
    kill(server->pid, SIGKILL);
    server->Wait(5000);
    // A killed server leaves its socket and lock file behind.
    const std::string number = name.substr(1);
    unlink(("/tmp/.X11-unix/X" + number).c_str());
    unlink(("/tmp/.X" + number + "-lock").c_str());
}

}  // namespace proc
