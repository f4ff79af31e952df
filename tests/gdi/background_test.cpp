// DrawBackground and its table, through a real (hidden) window whose
// instance holds the pictures. The tests share the process-wide table and
// run in order: the first draw is the one that loads.
#include "background.h"
#include "ink.h"
#include "test_instance.h"

#include <gtest/gtest.h>

namespace {

class BackgroundTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = DefWindowProcA;
        windowClass.hInstance = TestInstance();
        windowClass.lpszClassName = "KORU_BACKGROUND_TEST";
        RegisterClassA(&windowClass);
        window = CreateWindowExA(0, "KORU_BACKGROUND_TEST", "background test", WS_OVERLAPPEDWINDOW,
                                 0, 0, 640, 480, nullptr, nullptr, TestInstance(), nullptr);
    }
    static void TearDownTestSuite() { DestroyWindow(window); }

    static HWND window;
    Page page;
};

HWND BackgroundTest::window = nullptr;

TEST_F(BackgroundTest, FirstDrawOfAnyIndexLoadsAllSevenPictures)
{
    ASSERT_NE(window, nullptr);
    for (HBITMAP bitmap : backgroundBitmaps) {
        ASSERT_EQ(bitmap, nullptr) << "this test must draw first";
    }
    DrawBackground(window, page.dc, 3);
    for (int i = 0; i < BACKGROUND_COUNT; ++i) {
        ASSERT_NE(backgroundBitmaps[i], nullptr) << "picture " << i;
        BITMAP record{};
        ASSERT_EQ(GetObjectA(backgroundBitmaps[i], sizeof record, &record),
                  static_cast<int>(sizeof record));
        EXPECT_EQ(record.bmWidth, 640) << "picture " << i;
        EXPECT_EQ(record.bmHeight, 480) << "picture " << i;
    }
}

TEST_F(BackgroundTest, LaterDrawsReuseTheLoadedHandles)
{
    HBITMAP loaded[BACKGROUND_COUNT];
    for (int i = 0; i < BACKGROUND_COUNT; ++i) {
        loaded[i] = backgroundBitmaps[i];
    }
    DrawBackground(window, page.dc, 0);
    DrawBackground(window, page.dc, 6);
    for (int i = 0; i < BACKGROUND_COUNT; ++i) {
        EXPECT_EQ(backgroundBitmaps[i], loaded[i]) << "picture " << i;
    }
}

// What the picture holds, read through a context of its own.
COLORREF PicturePixel(int index, int x, int y)
{
    HDC memory = CreateCompatibleDC(nullptr);
    SelectObject(memory, backgroundBitmaps[index]);
    const COLORREF pixel = GetPixel(memory, x, y);
    DeleteDC(memory);
    return pixel;
}

TEST_F(BackgroundTest, PictureIsCopiedWholeAtTheOrigin)
{
    for (int index = 0; index < BACKGROUND_COUNT; ++index) {
        PatBlt(page.dc, 0, 0, PAGE_WIDTH, PAGE_HEIGHT, BLACKNESS);
        DrawBackground(window, page.dc, index);
        for (POINT at : {POINT{0, 0}, POINT{639, 0}, POINT{0, 479}, POINT{639, 479},
                         POINT{480, 120}, POINT{200, 240}}) {
            EXPECT_EQ(GetPixel(page.dc, at.x, at.y), PicturePixel(index, at.x, at.y))
                << "picture " << index << " at " << at.x << "," << at.y;
        }
    }
}

TEST_F(BackgroundTest, ResultsPicturesDifferOnlyInTheLevelDigit)
{
    // Digit 0 and digit 5 share everything but the digit (about x 452..513,
    // y 81..153): the table holds two different results pictures.
    HDC first = CreateCompatibleDC(nullptr);
    HDC last = CreateCompatibleDC(nullptr);
    SelectObject(first, backgroundBitmaps[1]);
    SelectObject(last, backgroundBitmaps[6]);
    int outside = 0;
    int digit = 0;
    for (int y = 0; y < PAGE_HEIGHT; y += 4) {
        for (int x = 0; x < PAGE_WIDTH; x += 4) {
            const bool inDigit = x >= 440 && x < 530 && y >= 70 && y < 165;
            const bool same = GetPixel(first, x, y) == GetPixel(last, x, y);
            (inDigit ? digit : outside) += !same;
        }
    }
    DeleteDC(first);
    DeleteDC(last);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(digit, 0);
}

TEST_F(BackgroundTest, DrawingIsClippedToASmallerTarget)
{
    HDC memory = CreateCompatibleDC(page.dc);
    HDC screen = GetDC(nullptr);
    HBITMAP small = CreateCompatibleBitmap(screen, 100, 50);
    ReleaseDC(nullptr, screen);
    HGDIOBJ original = SelectObject(memory, small);
    DrawBackground(window, memory, 0);
    EXPECT_EQ(GetPixel(memory, 99, 49), PicturePixel(0, 99, 49));
    EXPECT_EQ(GetPixel(memory, 100, 49), CLR_INVALID);
    SelectObject(memory, original);
    DeleteDC(memory);
    DeleteObject(small);
}

TEST_F(BackgroundTest, IndexOutsideTheTableDrawsNothing)
{
    DrawBackground(window, page.dc, -1);
    DrawBackground(window, page.dc, BACKGROUND_COUNT);
    EXPECT_EQ(InkCount(page.dc, {0, 0, PAGE_WIDTH, 40}), 0);
}

}  // namespace
