// What the scratch-file tests share: a private temporary tree standing for
// the user's files, one storage-phase loop through the real CreateFileA,
// WriteFile and CloseHandle, stderr caught, and a record of everything in
// the tree so that a test can tell that nothing but the scratch file
// changed.
#pragma once

#include "bench_state.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>

namespace scratch {

namespace fs = std::filesystem;

// Type, owner, mode, links and content (or link target) of every entry
// under a directory, by path.
using Snapshot = std::map<std::string, std::string>;
Snapshot Take(const fs::path& root, const fs::path& leaveOut = {});
// "" if equal, else the first difference.
std::string Compare(const Snapshot& before, const Snapshot& after);

std::string Slurp(const fs::path& file);

// Catches what is written to stderr (descriptor 2) while it lives.
class StderrCatcher {
public:
    StderrCatcher();
    ~StderrCatcher();
    std::string Text();  // what was caught so far
private:
    int saved = -1;
    int file = -1;
};

class ScratchTest : public ::testing::Test {
public:
    // A fresh tree: root/home (HOME) and root/home/.cache (XDG_CACHE_HOME,
    // not made yet); the drive-C directory is looked up afresh.
    void SetUp() override;
    void TearDown() override;

    // One storage-phase loop: create, write the pattern, close; the count
    // WriteFile stored, 0 if the open failed.
    DWORD WriteScratchOnce();

    fs::path root, home, cache, directory, path;

private:
    std::map<std::string, std::string> savedEnvironment;
};

}  // namespace scratch
