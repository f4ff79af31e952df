// The directory that stands for "c:\" on Linux: made only where the user's
// cache belongs, used only if it is the user's, made private if others
// could write in it, and otherwise left alone with one line on stderr.
#include "scratch_fixture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <functional>

namespace {

using namespace scratch;

using ScratchDirectory = ScratchTest;

mode_t ModeOf(const fs::path& at)
{
    struct stat info;
    return lstat(at.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

std::string Line(const fs::path& directory, const std::string& reason)
{
    return "koru-bench: cannot use the scratch directory " + directory.string() + ": " + reason +
           "; the SD figure will be 0\n";
}

TEST_F(ScratchDirectory, OursButOpenToOthersIsMadePrivateThenUsed)
{
    // As the directory may be found on a shared machine: a neighbour could
    // have planted a FIFO before it was made private.
    fs::create_directories(directory);
    ASSERT_EQ(chmod(directory.c_str(), 0777), 0);
    ASSERT_EQ(mkfifo(path.c_str(), 0666), 0);
    StderrCatcher stderrText;
    EXPECT_EQ(WriteScratchOnce(), 0u);
    EXPECT_EQ(ModeOf(directory), 0700u);
    EXPECT_TRUE(fs::is_fifo(path));
    EXPECT_EQ(stderrText.Text(), "koru-bench: cannot write the scratch file " + path.string() +
                                     ": it is a FIFO; the SD figure will be 0\n");
    // Once the user has removed it, the next loop writes.
    fs::remove(path);
    EXPECT_EQ(WriteScratchOnce(), SCRATCH_SIZE);
}

TEST_F(ScratchDirectory, HomeWithoutACacheGetsOnlyTheCacheDirectories)
{
    unsetenv("XDG_CACHE_HOME");
    const Snapshot before = Take(root);
    EXPECT_EQ(WriteScratchOnce(), SCRATCH_SIZE);
    EXPECT_EQ(ModeOf(cache), 0700u);
    EXPECT_EQ(ModeOf(directory), 0700u);
    Snapshot after = Take(root, path);
    EXPECT_EQ(after.erase(cache.string()) + after.erase(directory.string()), 2u);
    EXPECT_EQ(Compare(before, after), "");
}

// A directory the program must not use, and what the line says about it.
struct Unusable {
    const char* name;
    // Sets the place up; false to skip. Gets the fixture, returns the
    // directory the line names and the reason it gives.
    std::function<bool(ScratchTest& test, fs::path& named, std::string& reason)> arrange;
};

void PrintTo(const Unusable& unusable, std::ostream* out)
{
    *out << unusable.name;
}

class UnusableDirectory : public ScratchTest, public ::testing::WithParamInterface<Unusable> {};

TEST_P(UnusableDirectory, CountsNothingChangesNothingAndSaysWhyOnce)
{
    fs::path named;
    std::string reason;
    std::ofstream(home / "important.txt") << "keep me";
    if (!GetParam().arrange(*this, named, reason)) {
        GTEST_SKIP() << "not possible as this user";
    }
    const Snapshot before = Take(root);
    StderrCatcher stderrText;
    EXPECT_EQ(WriteScratchOnce(), 0u);
    EXPECT_EQ(WriteScratchOnce(), 0u);
    EXPECT_EQ(Compare(before, Take(root)), "");
    EXPECT_EQ(stderrText.Text(), Line(named, reason));
}

INSTANTIATE_TEST_SUITE_P(
    ScratchDirectory, UnusableDirectory,
    ::testing::Values(
        Unusable{"AnotherUsers",
                 [](ScratchTest& test, fs::path& named, std::string& reason) {
                     // Writable by all, too: it must not be taken over either.
                     fs::create_directories(test.directory);
                     chmod(test.directory.c_str(), 0777);
                     named = test.directory;
                     reason = "it belongs to another user (uid 65534)";
                     return geteuid() == 0 && chown(test.directory.c_str(), 65534, 65534) == 0;
                 }},
        Unusable{"SymbolicLink",
                 [](ScratchTest& test, fs::path& named, std::string& reason) {
                     fs::create_directories(test.cache);
                     fs::create_directory(test.home / "elsewhere");
                     fs::create_directory_symlink(test.home / "elsewhere", test.directory);
                     named = test.directory;
                     reason = "it is a symbolic link";
                     return true;
                 }},
        Unusable{"AFile",
                 [](ScratchTest& test, fs::path& named, std::string& reason) {
                     fs::create_directories(test.cache);
                     std::ofstream(test.directory) << "a file";
                     named = test.directory;
                     reason = "it is not a directory";
                     return true;
                 }},
        Unusable{"HomeThatDoesNotExist",
                 [](ScratchTest& test, fs::path& named, std::string& reason) {
                     unsetenv("XDG_CACHE_HOME");
                     const fs::path missing = test.root / "gone" / "home";
                     setenv("HOME", missing.c_str(), 1);
                     named = missing / ".cache" / "koru-bench";
                     reason = (missing / ".cache").string() +
                              " cannot be made: No such file or directory";
                     return true;
                 }},
        Unusable{"CacheHomeWhoseParentDoesNotExist",
                 [](ScratchTest& test, fs::path& named, std::string& reason) {
                     const fs::path missing = test.root / "gone" / "cache";
                     setenv("XDG_CACHE_HOME", missing.c_str(), 1);
                     named = missing / "koru-bench";
                     reason = missing.string() + " cannot be made: No such file or directory";
                     return true;
                 }},
        Unusable{"NotWritable",
                 [](ScratchTest& test, fs::path& named, std::string& reason) {
                     fs::create_directories(test.directory);
                     chmod(test.directory.c_str(), 0500);
                     named = test.directory;
                     reason = "Permission denied";
                     return geteuid() != 0;  // root writes anyway
                 }}),
    [](const ::testing::TestParamInfo<Unusable>& info) { return std::string(info.param.name); });

}  // namespace
