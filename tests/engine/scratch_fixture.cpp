#include "scratch_fixture.h"

#include "drive_c.h"
#include "scratch_pattern.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace scratch {

Snapshot Take(const fs::path& root, const fs::path& leaveOut)
{
    Snapshot snapshot;
    std::error_code error;
    std::vector<fs::path> pending{root};
    while (!pending.empty()) {
        const fs::path at = pending.back();
        pending.pop_back();
        struct stat info;
        if (lstat(at.c_str(), &info) != 0) {
            continue;
        }
        std::ostringstream entry;
        // A directory's link count is its number of subdirectories: what
        // appeared in it is seen anyway.
        entry << std::oct << info.st_mode << std::dec << " uid " << info.st_uid;
        if (!S_ISDIR(info.st_mode)) {
            entry << " links " << info.st_nlink;
        }
        if (S_ISREG(info.st_mode) && at != leaveOut) {
            entry << " content " << Slurp(at);
        } else if (S_ISLNK(info.st_mode)) {
            entry << " -> " << fs::read_symlink(at, error).string();
        } else if (S_ISDIR(info.st_mode)) {
            for (const auto& child : fs::directory_iterator(at, error)) {
                pending.push_back(child.path());
            }
        }
        if (at != leaveOut) {
            snapshot[at.string()] = entry.str();
        }
    }
    return snapshot;
}

std::string Compare(const Snapshot& before, const Snapshot& after)
{
    for (const auto& [name, entry] : before) {
        const auto found = after.find(name);
        if (found == after.end()) {
            return name + " is gone";
        }
        if (found->second != entry) {
            return name + " changed: " + entry.substr(0, 60) + " -> " + found->second.substr(0, 60);
        }
    }
    for (const auto& [name, entry] : after) {
        if (before.count(name) == 0) {
            return name + " appeared";
        }
    }
    return "";
}

std::string Slurp(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

StderrCatcher::StderrCatcher()
{
    char name[] = "/tmp/koru-stderr-XXXXXX";
    file = mkstemp(name);
    unlink(name);
    std::fflush(stderr);
    saved = dup(STDERR_FILENO);
    dup2(file, STDERR_FILENO);
}

StderrCatcher::~StderrCatcher()
{
    std::fflush(stderr);
    dup2(saved, STDERR_FILENO);
    close(saved);
    close(file);
}

std::string StderrCatcher::Text()
{
    std::fflush(stderr);
    std::string text;
    char buffer[512];
    ssize_t got;
    for (off_t at = 0; (got = pread(file, buffer, sizeof buffer, at)) > 0; at += got) {
        text.append(buffer, static_cast<std::size_t>(got));
    }
    return text;
}

void ScratchTest::SetUp()
{
    for (const char* name : {"HOME", "XDG_CACHE_HOME"}) {
        const char* value = std::getenv(name);
        savedEnvironment[name] = value != nullptr ? value : std::string(1, '\0');
    }
    char pattern[] = "/tmp/koru-scratch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    root = pattern;
    home = root / "home";
    fs::create_directory(home);
    cache = home / ".cache";
    directory = cache / "koru-bench";
    path = directory / "tmp.dat";
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    koru::posix::ForgetDriveC();
}

void ScratchTest::TearDown()
{
    koru::posix::ForgetDriveC();
    for (const auto& [name, value] : savedEnvironment) {
        if (value == std::string(1, '\0')) {
            unsetenv(name.c_str());
        } else {
            setenv(name.c_str(), value.c_str(), 1);
        }
    }
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(root, ignored)) {
        fs::permissions(entry.path(), fs::perms::owner_all,
                        fs::perm_options::add | fs::perm_options::nofollow, ignored);
    }
    fs::remove_all(root, ignored);
}

DWORD ScratchTest::WriteScratchOnce()
{
    std::vector<std::uint8_t> buffer(SCRATCH_SIZE);
    std::uint8_t pattern = SCRATCH_PATTERN_SEED;
    FillScratch(buffer.data(), buffer.size(), pattern);
    HANDLE file = CreateFileA(SCRATCH_PATH, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return 0;
    }
    DWORD written = 12345;
    WriteFile(file, buffer.data(), SCRATCH_SIZE, &written, nullptr);
    EXPECT_TRUE(CloseHandle(file));
    return written;
}

}  // namespace scratch
