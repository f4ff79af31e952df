// Whole processes for the Linux process tests: a child with its output read
// through pipes, environments made from this one, and a private Xvfb on a
// display number it picks itself (-displayfd), at any depth.
#pragma once

#include <sys/types.h>

#include <initializer_list>
#include <string>
#include <vector>

namespace proc {

struct Spawn {
    std::vector<std::string> argv;
    std::vector<std::string> env;
    // Start with descriptors 0, 1 and 2 closed; the child can still speak
    // through descriptor 3.
    bool closeStandard = false;
};

// A child process; stdout, stderr and descriptor 3 are read into `out`,
// `err` and `report`.
class Child {
public:
    explicit Child(const Spawn& spawn);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    bool Started() const { return pid > 0; }

    // Reads output until `until` says enough, the process ends, or time
    // runs out (false).
    bool ReadUntil(int timeoutMs, bool (*until)(const Child&));
    bool Wait(int timeoutMs);

    pid_t pid = -1;
    int status = 0;
    bool exited = false;
    std::string out;
    std::string err;
    std::string report;

private:
    int fds[3] = {-1, -1, -1};  // stdout, stderr, descriptor 3
};

// This process's environment without the variables named, plus `extra`
// ("NAME=value" each).
std::vector<std::string> Environment(std::initializer_list<const char*> without,
                                     std::initializer_list<std::string> extra = {});

// A private Xvfb for the life of the object, its screen `size` pixels.
class XServer {
public:
    explicit XServer(int depth, const std::string& size = "1024x768");
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool Running() const { return !name.empty(); }
    void Kill();  // as a crash would: no clean-up

    std::string name;  // ":N"; empty if it did not start

private:
    Child* server = nullptr;
};

}  // namespace proc
