// Choosing the desktop's scale from what the desktop publishes, and fitting
// it to the screen: rows of sources and what they give.
#include "desktop_scale.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

using koru::posix::ScaleSources;

TEST(DesktopScale, TheMostSpecificSourceThatSaysOneCounts)
{
    struct Row {
        ScaleSources sources;
        int scale;
        const char* complaint;  // part of it; "" for none
    };
    const Row rows[] = {
        {{nullptr, nullptr, 0, 0, nullptr}, 1, ""},
        {{"3", "2", 2, 192 * 1024, "192"}, 3, ""},
        {{nullptr, "2", 1, 0, "96"}, 2, ""},
        {{nullptr, nullptr, 2, 96 * 1024, "96"}, 2, ""},
        {{nullptr, nullptr, 0, 144 * 1024, "96"}, 2, ""},  // 150 % is 2, as Windows stretches it
        {{nullptr, nullptr, 0, 120 * 1024, nullptr}, 1, ""},
        {{nullptr, nullptr, 0, 0, "192"}, 2, ""},
        {{nullptr, nullptr, 0, 0, " 288.0 "}, 3, ""},
        {{nullptr, nullptr, 0, 0, "144"}, 2, ""},
        {{"abc", nullptr, 0, 0, "192"}, 2, "KORU_BENCH_SCALE=abc is not"},
        {{"5", nullptr, 0, 0, nullptr}, 1, "KORU_BENCH_SCALE=5 is not"},
        {{"0", "2x", 0, 0, nullptr}, 1, "GDK_SCALE=2x is not"},
        {{nullptr, nullptr, 9, 0, nullptr}, 1, "Gdk/WindowScalingFactor=9 is not"},
        {{nullptr, nullptr, 0, 0, "abc"}, 1, "Xft.dpi=abc is not"},
        {{nullptr, nullptr, 0, 0, "960"}, 1, "Xft.dpi=960 is not"},
    };
    for (const Row& row : rows) {
        std::string complaint;
        const int scale = koru::posix::ChooseScale(row.sources, complaint);
        EXPECT_EQ(scale, row.scale) << (row.sources.xftDpi ? row.sources.xftDpi : "-");
        EXPECT_NE(complaint.find(row.complaint), std::string::npos) << complaint;
        EXPECT_EQ(*row.complaint == '\0', complaint.empty()) << complaint;
    }
}

TEST(DesktopScale, NeverLargerThanTheWorkArea)
{
    EXPECT_EQ(koru::posix::FitScale(2, 3840, 2160, 640, 480), 2);
    EXPECT_EQ(koru::posix::FitScale(2, 1366, 768, 640, 480), 1);  // 150 % on a small laptop
    EXPECT_EQ(koru::posix::FitScale(2, 800, 480, 640, 480), 1);   // the Pi's own display
    EXPECT_EQ(koru::posix::FitScale(4, 2560, 1440, 640, 480), 3);
    EXPECT_EQ(koru::posix::FitScale(3, 1920, 1440, 640, 480), 3);
}

TEST(DesktopScale, ReadsXftDpiAndXSettings)
{
    EXPECT_EQ(koru::posix::FindXftDpi("Xft.antialias:\t1\nXft.dpi:\t192\nXft.hinting:\t1\n"), "192");
    EXPECT_EQ(koru::posix::FindXftDpi("Xft.dpi:\t96\nXft.dpi:  144"), "144");
    EXPECT_EQ(koru::posix::FindXftDpi("Xft.dpix:\t1\n"), "");
    EXPECT_EQ(koru::posix::FindXftDpi(nullptr), "");

    // A string setting to step over, then the two integers (least significant byte first).
    const std::vector<std::uint8_t> data{
        0, 0, 0, 0, 7, 0, 0, 0, 3, 0, 0, 0,                                                  // order, serial, count
        1, 0, 13, 0, 'N', 'e', 't', '/', 'T', 'h', 'e', 'm', 'e', 'N', 'a', 'm', 'e', 0, 0, 0,  // a string
        0, 0, 0, 0, 5, 0, 0, 0, 'A', 'd', 'w', 'a', 'i', 0, 0, 0,                            // serial, value
        0, 0, 23, 0, 'G', 'd', 'k', '/', 'W', 'i', 'n', 'd', 'o', 'w', 'S', 'c', 'a', 'l', 'i', 'n', 'g',
        'F', 'a', 'c', 't', 'o', 'r', 0, 0, 0, 0, 0, 2, 0, 0, 0,                             // 2
        0, 0, 7, 0, 'X', 'f', 't', '/', 'D', 'P', 'I', 0, 0, 0, 0, 0, 0, 0, 3, 0,            // 196608
    };
    long scale = 0;
    long dpi = 0;
    EXPECT_TRUE(koru::posix::ReadXSettings(data.data(), data.size(), scale, dpi));
    EXPECT_EQ(scale, 2);
    EXPECT_EQ(dpi, 196608);
    EXPECT_FALSE(koru::posix::ReadXSettings(data.data(), data.size() - 2, scale, dpi)) << "cut short";
}

}  // namespace
