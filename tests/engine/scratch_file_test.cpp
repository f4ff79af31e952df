// The scratch file on Linux: where "c:\tmp.dat" lands, what it holds, and
// that nothing planted at its name can be turned against its user: only a
// private regular file is written, an open never waits, and one line on
// stderr says why nothing was.
#include "file_path.h"
#include "scratch_fixture.h"
#include "scratch_pattern.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <vector>

namespace {

using namespace scratch;

using ScratchFile = ScratchTest;

TEST_F(ScratchFile, LandsInAPrivateCacheDirectoryWithTheExactContent)
{
    const Snapshot before = Take(root);
    // A longer file already there must be cut to the new content.
    ASSERT_EQ(WriteScratchOnce(), SCRATCH_SIZE);
    std::ofstream(path, std::ios::app) << std::string(5000, 'x');
    StderrCatcher stderrText;
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
    // The two cache directories and the file are all that appeared.
    Snapshot after = Take(root, path);
    EXPECT_EQ(after.erase(cache.string()) + after.erase(directory.string()), 2u);
    EXPECT_EQ(Compare(before, after), "");
    EXPECT_EQ(stderrText.Text(), "");
}

TEST_F(ScratchFile, NoSharingWhileOpen)
{
    HANDLE first = CreateFileA(SCRATCH_PATH, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(first, "abc", 3, &written, nullptr));
    StderrCatcher stderrText;
    EXPECT_EQ(WriteScratchOnce(), 0u) << "a second open must fail, and must not truncate";
    CloseHandle(first);
    EXPECT_EQ(Slurp(path), "abc");
    EXPECT_EQ(WriteScratchOnce(), SCRATCH_SIZE);
    EXPECT_EQ(stderrText.Text(), "") << "another instance is no fault to report";
}

TEST_F(ScratchFile, AWriteStoppedByTheFileSizeLimitReportsWhatFitted)
{
    // The program's start-up ignores SIGXFSZ; so does this test, for the
    // same short write a full disk gives.
    const auto previous = signal(SIGXFSZ, SIG_IGN);
    rlimit saved;
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    StderrCatcher stderrText;
    std::vector<char> buffer(SCRATCH_SIZE, 'k');
    DWORD written[2] = {12345, 12345};
    BOOL whole[2];
    for (int loop = 0; loop < 2; ++loop) {
        HANDLE file = CreateFileA(SCRATCH_PATH, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        whole[loop] = WriteFile(file, buffer.data(), SCRATCH_SIZE, &written[loop], nullptr);
        CloseHandle(file);
    }
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, previous);
    EXPECT_FALSE(whole[0] || whole[1]);
    EXPECT_EQ(written[0], 1000u);
    EXPECT_EQ(written[1], 1000u);
    EXPECT_EQ(fs::file_size(path), 1000u);
    EXPECT_EQ(stderrText.Text(), "koru-bench: a write to the scratch file stopped short: File too "
                                 "large; the SD figure counts whole writes only\n");
}

// Something planted at the scratch file's name in a private directory.
struct Planted {
    const char* name;
    // Plants it; false to skip (needs root).
    std::function<bool(const fs::path& at, const fs::path& home)> plant;
    const char* reason;  // as the stderr line gives it
};

void PrintTo(const Planted& planted, std::ostream* out)
{
    *out << planted.name;
}

class PlantedAtTheName : public ScratchTest, public ::testing::WithParamInterface<Planted> {};

TEST_P(PlantedAtTheName, IsLeftAloneWithOneLineAndTheLoopGoesOn)
{
    fs::create_directories(directory);
    fs::permissions(directory, fs::perms::owner_all);
    std::ofstream(home / "important.txt") << "keep me";
    if (!GetParam().plant(path, home)) {
        GTEST_SKIP() << "needs root";
    }
    const Snapshot before = Take(root);
    StderrCatcher stderrText;
    for (int loop = 0; loop < 3; ++loop) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(WriteScratchOnce(), 0u) << "loop " << loop;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(500));
    }
    EXPECT_EQ(Compare(before, Take(root)), "");
    EXPECT_EQ(stderrText.Text(), "koru-bench: cannot write the scratch file " + path.string() +
                                     ": " + GetParam().reason + "; the SD figure will be 0\n");
}

bool MakeFifo(const fs::path& at, const fs::path&)
{
    return mkfifo(at.c_str(), 0600) == 0;
}

INSTANTIATE_TEST_SUITE_P(
    ScratchFile, PlantedAtTheName,
    ::testing::Values(
        Planted{"FifoWithoutReader", MakeFifo, "it is a FIFO"},
        Planted{"FifoWithReader",
                [](const fs::path& at, const fs::path& home) {
                    // Held open for the rest of the process: a writer would
                    // then open it at once, and must still not write.
                    return MakeFifo(at, home) && open(at.c_str(), O_RDONLY | O_NONBLOCK) >= 0;
                },
                "it is a FIFO"},
        Planted{"Socket",
                [](const fs::path& at, const fs::path&) {
                    sockaddr_un address{};
                    address.sun_family = AF_UNIX;
                    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", at.c_str());
                    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
                    return bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
                },
                "it is a socket"},
        Planted{"Device",
                [](const fs::path& at, const fs::path&) {
                    return mknod(at.c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0;  // /dev/null
                },
                "it is a device"},
        Planted{"HardLink",
                [](const fs::path& at, const fs::path& home) {
                    return link((home / "important.txt").c_str(), at.c_str()) == 0;
                },
                "it has 2 hard links"},
        Planted{"SymbolicLink",
                [](const fs::path& at, const fs::path& home) {
                    return symlink((home / "important.txt").c_str(), at.c_str()) == 0;
                },
                "it is a symbolic link"},
        Planted{"Directory",
                [](const fs::path& at, const fs::path&) { return mkdir(at.c_str(), 0700) == 0; },
                "it is a directory"},
        Planted{"AnotherUsersFile",
                [](const fs::path& at, const fs::path&) {
                    std::ofstream(at) << "theirs";
                    return geteuid() == 0 && chown(at.c_str(), 65534, 65534) == 0;
                },
                "it belongs to another user (uid 65534)"}),
    [](const ::testing::TestParamInfo<Planted>& info) { return std::string(info.param.name); });

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
