// Text as the screens draw it: CreateTextFont, TRANSPARENT, TextOutA with a
// top-left point, in the context's default black. The expected figures allow
// for any Japanese fixed-pitch face whose full-width advance is 27 to 31
// pixels at height 30 (IPAGothic on Linux: 28; the real face: 30).
#include "background.h"
#include "ink.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr int TEXT_X = 400;
constexpr int TEXT_Y = 130;
constexpr int FULL_WIDTH = 29;  // the middle of the range above

class TextTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        font = CreateTextFont(30);
        ASSERT_NE(font, nullptr);
        previous = SelectObject(page.dc, font);
        SetBkMode(page.dc, TRANSPARENT);
    }
    void TearDown() override
    {
        SelectObject(page.dc, previous);
        DeleteObject(font);
    }
    void Draw(const char* text, int x = TEXT_X, int y = TEXT_Y)
    {
        ASSERT_TRUE(TextOutA(page.dc, x, y, text, static_cast<int>(std::strlen(text))));
    }
    // The ink of the glyph cell that starts `offset` pixels into the line,
    // trimmed by a few pixels each side so it holds whichever width applies.
    int CellInk(int offset)
    {
        return InkCount(page.dc, {TEXT_X + offset + 7, TEXT_Y, TEXT_X + offset + FULL_WIDTH - 8,
                                  TEXT_Y + 30});
    }

    Page page;
    HFONT font = nullptr;
    HGDIOBJ previous = nullptr;
};

TEST_F(TextTest, CountdownLineDrawsThreeKanaDigitsAndKanjiInItsCells)
{
    char line[1000];
    // "のこり%d秒" in code page 932.
    const int length = std::sprintf(line, "\x82\xcc\x82\xb1\x82\xe8%d\x95\x62", 12);
    ASSERT_EQ(length, 10);
    Draw(line);

    EXPECT_GT(CellInk(0), 20) << "no";
    EXPECT_GT(CellInk(FULL_WIDTH), 20) << "ko";
    EXPECT_GT(CellInk(2 * FULL_WIDTH), 20) << "ri";
    EXPECT_GT(CellInk(4 * FULL_WIDTH), 20) << "byou, after two half-width digits";

    const RECT ink = InkBounds(page.dc, {TEXT_X - 40, TEXT_Y - 40, TEXT_X + 240, TEXT_Y + 70});
    EXPECT_GE(ink.left, TEXT_X);
    EXPECT_LE(ink.left, TEXT_X + 6);
    EXPECT_GE(ink.top, TEXT_Y);
    EXPECT_LE(ink.bottom, TEXT_Y + 30);
    // Four full-width cells and two half-width ones; the kanji fills most of
    // its cell.
    EXPECT_GE(ink.right, TEXT_X + 3 * 27 + 2 * 13 + 20);
    EXPECT_LE(ink.right, TEXT_X + 4 * 31 + 2 * 16);
    EXPECT_EQ(InkCount(page.dc, {0, 0, PAGE_WIDTH, TEXT_Y}), 0) << "ink above the point";
    EXPECT_EQ(InkCount(page.dc, {0, 0, TEXT_X, PAGE_HEIGHT}), 0) << "ink left of the point";
}

TEST_F(TextTest, TextIsBlackAndTransparentModeLeavesTheBackgroundBetweenGlyphs)
{
    // A black rule through the line: black ink over it changes nothing,
    // while a background box or any other colour would show.
    const int ruleY = TEXT_Y + 14;
    PatBlt(page.dc, 0, ruleY, PAGE_WIDTH, 1, BLACKNESS);
    Draw("CPU=123");
    int changed = 0;
    for (int x = TEXT_X - 5; x < TEXT_X + 7 * 16 + 5; ++x) {
        changed += GetPixel(page.dc, x, ruleY) != RGB(0, 0, 0);
    }
    EXPECT_EQ(changed, 0);

    // Solid strokes are fully black somewhere; antialiased edges are greys.
    const RECT cell = {TEXT_X, TEXT_Y, TEXT_X + 7 * 16, TEXT_Y + 30};
    bool solid = false, edge = false;
    for (int y = cell.top; y < cell.bottom; ++y) {
        for (int x = cell.left; x < cell.right; ++x) {
            const COLORREF pixel = GetPixel(page.dc, x, y);
            solid |= pixel == RGB(0, 0, 0) && y != ruleY;
            edge |= pixel != RGB(0, 0, 0) && pixel != RGB(255, 255, 255);
            ASSERT_EQ(GetRValue(pixel), GetGValue(pixel)) << x << "," << y;
            ASSERT_EQ(GetGValue(pixel), GetBValue(pixel)) << x << "," << y;
        }
    }
    EXPECT_TRUE(solid);
    EXPECT_TRUE(edge) << "no antialiasing";
}

TEST_F(TextTest, TallGlyphsStayInsideTheThirtyPixelCell)
{
    Draw("|\x82\xcc");  // "|の"
    const RECT ink = InkBounds(page.dc, {TEXT_X - 10, TEXT_Y - 20, TEXT_X + 60, TEXT_Y + 50});
    EXPECT_GE(ink.top, TEXT_Y);
    EXPECT_LE(ink.bottom, TEXT_Y + 30);
    EXPECT_GE(ink.bottom - ink.top, 22) << "the font came out small";
}

TEST_F(TextTest, SmallerFontDrawsSmallerGlyphs)
{
    Draw("\x82\xcc");
    const RECT large = InkBounds(page.dc, {TEXT_X, TEXT_Y, TEXT_X + 40, TEXT_Y + 40});
    HFONT small = CreateTextFont(25);
    ASSERT_NE(small, nullptr);
    SelectObject(page.dc, small);
    Draw("\x82\xcc", TEXT_X, TEXT_Y + 100);
    SelectObject(page.dc, font);
    DeleteObject(small);
    const RECT smaller = InkBounds(page.dc, {TEXT_X, TEXT_Y + 100, TEXT_X + 40, TEXT_Y + 140});
    EXPECT_LT(smaller.bottom - smaller.top, large.bottom - large.top);
    EXPECT_LE(smaller.bottom, TEXT_Y + 100 + 25);
}

TEST_F(TextTest, SelectingANullFontKeepsTheFontAndStillDraws)
{
    Draw("FPU=45");
    const RECT expected = InkBounds(page.dc, {TEXT_X, TEXT_Y, TEXT_X + 200, TEXT_Y + 30});
    PatBlt(page.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, WHITENESS);

    // What a failed CreateTextFont leads to: SelectObject(dc, NULL).
    EXPECT_EQ(SelectObject(page.dc, nullptr), nullptr);
    EXPECT_FALSE(DeleteObject(nullptr));
    Draw("FPU=45");
    const RECT got = InkBounds(page.dc, {TEXT_X, TEXT_Y, TEXT_X + 200, TEXT_Y + 30});
    EXPECT_EQ(got.left, expected.left);
    EXPECT_EQ(got.right, expected.right);
    EXPECT_EQ(got.top, expected.top);
    EXPECT_EQ(got.bottom, expected.bottom);
}

TEST(DefaultFontText, ContextWithoutASelectedFontDrawsAscii)
{
    // The first-paint line is drawn in the font the context starts with.
    Page page;
    SetBkMode(page.dc, TRANSPARENT);
    ASSERT_TRUE(TextOutA(page.dc, 380, 150, "Getting ready...", 16));
    const RECT ink = InkBounds(page.dc, {340, 110, 640, 220});
    EXPECT_GE(ink.left, 380);
    EXPECT_GE(ink.top, 150);
    EXPECT_GT(ink.right - ink.left, 60);
}

}  // namespace
