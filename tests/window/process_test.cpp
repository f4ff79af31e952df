// The windowed program as a whole process on Linux, through the real
// runtime start-up: without a display it says so in one line, naming the
// display it could not open, and fails at once; closing its window ends it
// even with a thread still running; losing the X server ends it without a
// hang or a core dump; closed standard descriptors, a file-size limit and
// a machine without a Japanese font are survived, with one line where the
// user has to act.
#include "window/child_process.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>

namespace {

using proc::Child;
using proc::Environment;
using Clock = std::chrono::steady_clock;

bool Painted(const Child& child)
{
    return child.out.find("painted") != std::string::npos || child.exited;
}

// A private directory for the probe's files, removed afterwards.
class ProbeFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/koru-probe-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        directory = pattern;
    }
    void TearDown() override { std::filesystem::remove_all(directory); }

    std::filesystem::path directory;
};

TEST(Process, WithoutDisplayOneLineAndFailure)
{
    Child probe({{WINDOW_PROBE}, Environment({"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"})});
    ASSERT_TRUE(probe.Started());
    const auto start = Clock::now();
    ASSERT_TRUE(probe.Wait(5000)) << "still running without a display";
    const auto took = Clock::now() - start;
    ASSERT_TRUE(WIFEXITED(probe.status));
    EXPECT_NE(WEXITSTATUS(probe.status), 0);
    EXPECT_EQ(probe.err, "koru-bench: cannot open a window: no display (DISPLAY is not set)\n");
    EXPECT_LT(took, std::chrono::seconds(2));
}

TEST(Process, ADisplayThatCannotBeOpenedIsNamed)
{
    // A name no server answers to (none is ever started on it here).
    int number = 64000;
    struct stat info;
    while (stat(("/tmp/.X11-unix/X" + std::to_string(number)).c_str(), &info) == 0) {
        ++number;
    }
    const std::string display = std::string(":").append(std::to_string(number));
    Child probe({{WINDOW_PROBE},
                 Environment({"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"},
                             {"DISPLAY=" + display})});
    ASSERT_TRUE(probe.Wait(5000)) << "still running without a display";
    ASSERT_TRUE(WIFEXITED(probe.status));
    EXPECT_NE(WEXITSTATUS(probe.status), 0);
    EXPECT_EQ(probe.err, "koru-bench: cannot open a window: cannot open display " + display + "\n");
}

TEST(Process, ClosingEndsItDespiteARunningThread)
{
    if (std::getenv("DISPLAY") == nullptr) {
        GTEST_SKIP() << "needs an X display";
    }
    Child probe({{WINDOW_PROBE, "close"}, Environment({})});
    ASSERT_TRUE(probe.Started());
    ASSERT_TRUE(probe.Wait(5000)) << "did not end after closing its window";
    ASSERT_TRUE(WIFEXITED(probe.status));
    EXPECT_EQ(WEXITSTATUS(probe.status), 0) << probe.err;
    EXPECT_NE(probe.out.find("painted"), std::string::npos);
}

TEST(Process, LosingTheDisplayEndsItCleanly)
{
    proc::XServer server(24);
    if (!server.Running()) {
        GTEST_SKIP() << "no Xvfb";
    }
    Child probe({{WINDOW_PROBE},
                 Environment({"DISPLAY", "SDL_VIDEODRIVER"}, {"DISPLAY=" + server.name})});
    ASSERT_TRUE(probe.Started());
    ASSERT_TRUE(probe.ReadUntil(5000, Painted) && !probe.exited) << probe.err;

    server.Kill();
    const auto start = Clock::now();
    ASSERT_TRUE(probe.Wait(5000)) << "hung after the display went away";
    const auto took = Clock::now() - start;
    EXPECT_TRUE(WIFEXITED(probe.status)) << "killed by signal " << WTERMSIG(probe.status);
    EXPECT_LT(took, std::chrono::seconds(3));
    EXPECT_EQ(probe.err, "koru-bench: the connection to the display was lost\n");
}

TEST(Process, ClosedStandardDescriptorsAreOpenedOnDevNull)
{
    // Otherwise the next files opened, the scratch file among them, would
    // become stdout and stderr.
    Child probe({{WINDOW_PROBE, "descriptors"}, Environment({}), true});
    ASSERT_TRUE(probe.Wait(5000));
    EXPECT_EQ(probe.report, "0:null 1:null 2:null\n");
}

TEST_F(ProbeFiles, AWriteBeyondTheFileSizeLimitIsShortNotFatal)
{
    Child probe({{"prlimit", "--fsize=1000", WINDOW_PROBE, "write"},
                 Environment({"XDG_CACHE_HOME"}, {"XDG_CACHE_HOME=" + directory.string()})});
    ASSERT_TRUE(probe.Wait(5000));
    ASSERT_TRUE(WIFEXITED(probe.status)) << "killed by signal " << WTERMSIG(probe.status);
    EXPECT_EQ(probe.out, "wrote 1000\n");
    EXPECT_EQ(probe.err, "koru-bench: a write to the scratch file stopped short: File too large; "
                         "the SD figure counts whole writes only\n");
    EXPECT_EQ(std::filesystem::file_size(directory / "koru-bench" / "tmp.dat"), 1000u);
}

TEST_F(ProbeFiles, WithoutAJapaneseFontOneLineNamesThePackageAndLatinTextStillDraws)
{
    // fontconfig is told of no fonts at all, then of Latin ones only; the
    // program makes its font twice, and the line comes once.
    const std::string noFonts = (directory / "none.conf").string();
    std::ofstream(noFonts) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    const std::string latinFonts = (directory / "latin.conf").string();
    std::ofstream(latinFonts) << "<?xml version=\"1.0\"?>\n<fontconfig>\n"
                                 "  <dir>/usr/share/fonts/truetype/dejavu</dir>\n"
                                 "  <cachedir>" << (directory / "fc-cache").string()
                              << "</cachedir>\n</fontconfig>\n";
    const std::string line = "koru-bench: no font with Japanese characters was found, so the "
                             "Japanese texts cannot be drawn; install fonts-ipafont-gothic\n";
    for (const std::string& config : {noFonts, latinFonts}) {
        Child probe({{WINDOW_PROBE, "text"},
                     Environment({"FONTCONFIG_FILE"}, {"FONTCONFIG_FILE=" + config})});
        ASSERT_TRUE(probe.Wait(10000));
        EXPECT_EQ(probe.err, line) << config;
        const bool latin = config == latinFonts;
        EXPECT_EQ(probe.out.rfind("ink ", 0), 0u) << probe.out;
        EXPECT_EQ(std::atoi(probe.out.c_str() + 4) > 100, latin) << config << ": " << probe.out;
    }
    Child probe({{WINDOW_PROBE, "text"}, Environment({})});
    ASSERT_TRUE(probe.Wait(10000));
    EXPECT_EQ(probe.err, "") << "with the Japanese font there is nothing to say";
    EXPECT_GT(std::atoi(probe.out.c_str() + 4), 100) << probe.out;
}

}  // namespace
