// The scratch file on Linux: where "c:\tmp.dat" lands, what it holds, and
// that it cannot be turned against its user.
#include "bench_state.h"
#include "file_path.h"
#include "scratch_pattern.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

class ScratchFile : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/koru-scratch-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        cache = pattern;
        setenv("XDG_CACHE_HOME", cache.c_str(), 1);
        directory = cache / "koru-bench";
        path = directory / "tmp.dat";
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::permissions(directory, fs::perms::owner_all, ignored);
        fs::remove_all(cache, ignored);
    }

    // One storage-phase loop: create, write the pattern, close.
    DWORD WriteScratchOnce()
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

    static std::string Slurp(const fs::path& file)
    {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), {}};
    }

    fs::path cache, directory, path;
};

TEST_F(ScratchFile, LandsInAPrivateCacheDirectoryWithTheExactContent)
{
    // A longer file already there must be cut to the new content.
    ASSERT_EQ(WriteScratchOnce(), SCRATCH_SIZE);
    std::ofstream(path, std::ios::app) << std::string(5000, 'x');
    ASSERT_EQ(WriteScratchOnce(), SCRATCH_SIZE);

    const std::string content = Slurp(path);
    std::vector<std::uint8_t> expected(SCRATCH_SIZE);
    std::uint8_t pattern = SCRATCH_PATTERN_SEED;
    FillScratch(expected.data(), expected.size(), pattern);
    ASSERT_EQ(content.size(), SCRATCH_SIZE);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(),
                           reinterpret_cast<const std::uint8_t*>(content.data())));

    struct stat info;
    ASSERT_EQ(stat(directory.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
}

TEST_F(ScratchFile, APlantedSymbolicLinkIsNotFollowed)
{
    fs::create_directories(directory);
    const fs::path victim = cache / "victim.txt";
    std::ofstream(victim) << "keep me";
    fs::create_symlink(victim, path);
    EXPECT_EQ(WriteScratchOnce(), 0u);
    EXPECT_EQ(Slurp(victim), "keep me");
    EXPECT_TRUE(fs::is_symlink(path));
}

TEST_F(ScratchFile, PlacesThatCannotHoldTheFileGiveNoWriteAndNoError)
{
    // The path is a directory.
    fs::create_directories(path);
    EXPECT_EQ(WriteScratchOnce(), 0u);
    fs::remove(path);

    // The cache directory cannot be made (even root cannot make one in /proc).
    setenv("XDG_CACHE_HOME", "/proc/koru-no-such-place", 1);
    EXPECT_EQ(WriteScratchOnce(), 0u);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);

    // A directory without write permission (root is exempt from that).
    if (geteuid() != 0) {
        fs::create_directories(directory);
        fs::permissions(directory, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(WriteScratchOnce(), 0u);
    }
}

TEST_F(ScratchFile, NoSharingWhileOpen)
{
    HANDLE first = CreateFileA(SCRATCH_PATH, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(first, "abc", 3, &written, nullptr));
    EXPECT_EQ(WriteScratchOnce(), 0u) << "a second open must fail, and must not truncate";
    CloseHandle(first);
    EXPECT_EQ(Slurp(path), "abc");
    EXPECT_EQ(WriteScratchOnce(), SCRATCH_SIZE);
}

TEST(ScratchPath, DriveCMapsToTheUserCacheAndOtherPathsStayPosix)
{
    std::string mapped;
    setenv("XDG_CACHE_HOME", "/var/cache-of-user", 1);
    ASSERT_TRUE(koru::posix::MapWindowsPath("C:\\tmp.dat", mapped));
    EXPECT_EQ(mapped, "/var/cache-of-user/koru-bench/tmp.dat");
    setenv("XDG_CACHE_HOME", "relative/ignored", 1);
    setenv("HOME", "/home/someone", 1);
    ASSERT_TRUE(koru::posix::MapWindowsPath("c:\\sub\\tmp.dat", mapped));
    EXPECT_EQ(mapped, "/home/someone/.cache/koru-bench/sub/tmp.dat");
    ASSERT_TRUE(koru::posix::MapWindowsPath("/tmp/x.dat", mapped));
    EXPECT_EQ(mapped, "/tmp/x.dat");
    EXPECT_FALSE(koru::posix::MapWindowsPath("", mapped));
}

}  // namespace
