// Faces on Linux: the requested face is honoured only with Japanese glyphs,
// the Windows cell metrics, and no crash when fontconfig has no fonts at all.
#include "ink.h"

#include <gtest/gtest.h>

#include "font.h"

#include <cstdlib>
#include <fstream>
#include <string>

namespace {

HFONT JapaneseFont(int height, const char* face)
{
    return CreateFontA(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, SHIFTJIS_CHARSET, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, PROOF_QUALITY, FIXED_PITCH | FF_MODERN, face);
}

TEST(FontSetup, IpaGothicCellsFollowWindowsRule)
{
    // IPAGothic: upem 2048, winAscent 1802, winDescent 401.
    const koru::posix::FontSetup thirty = koru::posix::SetUpFont("IPAGothic", 30);
    ASSERT_NE(thirty.face, nullptr);
    EXPECT_EQ(thirty.ppem, 28);
    EXPECT_EQ(thirty.ascent, 25);
    EXPECT_EQ(thirty.descent, 5);
    const koru::posix::FontSetup twentyFive =
        koru::posix::SetUpFont("IPAGothic", 25);
    EXPECT_EQ(twentyFive.ppem, 23);
    EXPECT_EQ(twentyFive.ascent, 20);
    EXPECT_EQ(twentyFive.descent, 5);
    EXPECT_EQ(koru::posix::SetUpFont("IPAGothic", -20).ppem, 20);
    EXPECT_EQ(koru::posix::SetUpFont("IPAGothic", -2147483647 - 1).ppem, 1024);
}

TEST(FontSetup, FacesWithoutKanaOrMissingFacesGiveAJapaneseFace)
{
    for (const char* face : {"DejaVu Sans", "No Such Face", "", "\x82"}) {
        Page page;
        HFONT font = JapaneseFont(30, face);
        ASSERT_NE(font, nullptr) << face;
        HGDIOBJ previous = SelectObject(page.dc, font);
        ASSERT_TRUE(TextOutA(page.dc, 10, 10, "\x82\xa0\x82\xa0", 4)) << face;  // "ああ"
        EXPECT_GT(InkCount(page.dc, {10, 10, 38, 40}), 20) << face;
        EXPECT_GT(InkCount(page.dc, {38, 10, 66, 40}), 20) << face;
        SelectObject(page.dc, previous);
        DeleteObject(font);
    }
}

TEST(FontSetup, BadArgumentsAreRefusedNotFollowed)
{
    Page page;
    EXPECT_FALSE(TextOutA(page.dc, 0, 0, nullptr, 3));
    EXPECT_FALSE(TextOutA(page.dc, 0, 0, "abc", -1));
    EXPECT_FALSE(TextOutA(nullptr, 0, 0, "abc", 3));
    EXPECT_TRUE(TextOutA(page.dc, 2147483600, -2147483600, "abc", 3));
    EXPECT_EQ(SelectObject(page.dc, reinterpret_cast<HGDIOBJ>(page.dc)), nullptr);
    EXPECT_FALSE(DeleteObject(reinterpret_cast<HGDIOBJ>(page.dc)));
}

TEST(FontSetup, FontDeletedWhileSelectedDrawsUntilLetGo)
{
    Page page;
    HFONT font = JapaneseFont(30, nullptr);
    HGDIOBJ previous = SelectObject(page.dc, font);
    EXPECT_TRUE(DeleteObject(font));
    EXPECT_TRUE(TextOutA(page.dc, 10, 10, "A", 1));
    EXPECT_GT(InkCount(page.dc, {10, 10, 40, 40}), 0);
    SelectObject(page.dc, previous);
}

// In a process of its own, with a fontconfig that knows no fonts.
TEST(FontSetupDeathTest, NoFontsAtAllStillDrawsWithoutCrashing)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string config = ::testing::TempDir() + "koru-empty-fonts.conf";
    std::ofstream(config) << "<?xml version=\"1.0\"?>\n<fontconfig></fontconfig>\n";
    EXPECT_EXIT(
        {
            setenv("FONTCONFIG_FILE", config.c_str(), 1);
            Page page;
            HFONT font = JapaneseFont(30, "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E");
            SelectObject(page.dc, font);
            const BOOL drawn = TextOutA(page.dc, 10, 10, "\x82\xa0" "A", 3);
            std::exit(font != nullptr && drawn ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
}

}  // namespace
