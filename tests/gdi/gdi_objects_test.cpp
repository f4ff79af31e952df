// Contexts, bitmaps and copies: what DrawBackground and the screens rely on,
// checked the same way on Windows (Wine) and Linux.
#include "ink.h"

#include <gtest/gtest.h>

namespace {

TEST(GdiObjects, MemoryContextStartsWithOneByOneBitmapAndSelectReturnsWhatItReplaced)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 320, 200);
    ASSERT_NE(dc, nullptr);
    ASSERT_NE(bitmap, nullptr);

    HGDIOBJ first = SelectObject(dc, bitmap);
    ASSERT_NE(first, nullptr);
    BITMAP record{};
    ASSERT_EQ(GetObjectA(first, sizeof record, &record), static_cast<int>(sizeof record));
    EXPECT_EQ(record.bmWidth, 1);
    EXPECT_EQ(record.bmHeight, 1);

    ASSERT_EQ(GetObjectA(bitmap, sizeof record, &record), static_cast<int>(sizeof record));
    EXPECT_EQ(record.bmWidth, 320);
    EXPECT_EQ(record.bmHeight, 200);
    EXPECT_EQ(record.bmPlanes, 1);
    EXPECT_EQ(record.bmBitsPixel, 32);

    EXPECT_EQ(SelectObject(dc, nullptr), nullptr);
    EXPECT_EQ(SelectObject(dc, first), bitmap);
    DeleteDC(dc);
    DeleteObject(bitmap);
    ReleaseDC(nullptr, screen);
}

TEST(GdiObjects, BitmapDeletedWithItsContextStillSelectsIntoTheNext)
{
    // DrawBackground's pattern: the picture stays selected when the context
    // goes, and the next draw selects it again.
    Page source;
    PatBlt(source.dc, 0, 0, 10, 10, BLACKNESS);
    SelectObject(source.dc, source.original);
    for (int round = 0; round < 2; ++round) {
        Page target;
        HDC memory = CreateCompatibleDC(target.dc);
        ASSERT_NE(SelectObject(memory, source.bitmap), nullptr) << "round " << round;
        EXPECT_TRUE(BitBlt(target.dc, 0, 0, 10, 10, memory, 0, 0, SRCCOPY));
        EXPECT_TRUE(DeleteDC(memory));
        EXPECT_EQ(GetPixel(target.dc, 5, 5), RGB(0, 0, 0));
    }
    source.original = SelectObject(source.dc, source.bitmap);
}

TEST(GdiObjects, GetPixelOutsideTheBitmapIsInvalid)
{
    Page page;
    EXPECT_EQ(GetPixel(page.dc, 0, 0), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(page.dc, PAGE_WIDTH - 1, PAGE_HEIGHT - 1), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(page.dc, -1, 0), CLR_INVALID);
    EXPECT_EQ(GetPixel(page.dc, 0, PAGE_HEIGHT), CLR_INVALID);
    EXPECT_EQ(GetPixel(page.dc, PAGE_WIDTH, 0), CLR_INVALID);
}

class BlitTest : public ::testing::Test {
protected:
    // A 100 x 100 black square on a white page.
    void SetUp() override { PatBlt(square.dc, 0, 0, 100, 100, BLACKNESS); }

    Page square;
    Page target;
};

TEST_F(BlitTest, CopyLandsAtTheDestinationPoint)
{
    ASSERT_TRUE(BitBlt(target.dc, 20, 30, 100, 100, square.dc, 0, 0, SRCCOPY));
    const RECT ink = InkBounds(target.dc, {0, 0, 200, 200});
    EXPECT_EQ(ink.left, 20);
    EXPECT_EQ(ink.top, 30);
    EXPECT_EQ(ink.right, 120);
    EXPECT_EQ(ink.bottom, 130);
}

TEST_F(BlitTest, CopyIsClippedAtTheDestinationEdges)
{
    ASSERT_TRUE(BitBlt(target.dc, PAGE_WIDTH - 50, PAGE_HEIGHT - 40, 100, 100, square.dc, 0, 0,
                       SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, PAGE_WIDTH - 1, PAGE_HEIGHT - 1), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, PAGE_WIDTH - 50, PAGE_HEIGHT - 40), RGB(0, 0, 0));
    EXPECT_EQ(GetPixel(target.dc, PAGE_WIDTH - 51, PAGE_HEIGHT - 1), RGB(255, 255, 255));
    // Nothing wraps round to the next row or to the top.
    EXPECT_EQ(InkCount(target.dc, {0, 0, PAGE_WIDTH, 20}), 0);
    EXPECT_EQ(InkCount(target.dc, {0, 0, 60, PAGE_HEIGHT}), 0);

    ASSERT_TRUE(BitBlt(target.dc, -90, -80, 100, 100, square.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(InkBounds(target.dc, {0, 0, 100, 100}).right, 10);
    EXPECT_EQ(InkBounds(target.dc, {0, 0, 100, 100}).bottom, 20);
}

TEST_F(BlitTest, PixelsOutsideTheSourceAreNotDrawn)
{
    PatBlt(target.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, BLACKNESS);
    // The square's page is 640 x 480; ask for 100 x 100 from its corner.
    ASSERT_TRUE(BitBlt(target.dc, 0, 0, 100, 100, square.dc, 590, 430, SRCCOPY));
    EXPECT_EQ(GetPixel(target.dc, 10, 10), RGB(255, 255, 255));  // copied white
    EXPECT_EQ(GetPixel(target.dc, 60, 10), RGB(0, 0, 0));        // beyond the source
    EXPECT_EQ(GetPixel(target.dc, 10, 60), RGB(0, 0, 0));
}

}  // namespace
