// The first-paint line reads as its characters in whatever ANSI code page
// the system has: the paint draws its bytes with TextOutA in the context's
// own font, and the test the characters it means with TextOutW.
#include "display/fake_worker.h"
#include "display/screen_check.h"

#include "background.h"
#include "paint_main_window.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>

namespace {

class FirstPaintLine : public ScreenTest {};

TEST_F(FirstPaintLine, ReadsAsItsCharactersInThisCodePage)
{
    std::printf("ANSI code page %u\n", GetACP());
    const int startsBefore = fake::WorkerStarts();
    SetRun({0, 0, 0, 0, true});
    lastShownSeconds = -1;
    PaintScreen(window, got.dc, 123456);
    EXPECT_TRUE(fake::WaitForWorkerStarts(startsBefore + 1));

    const wchar_t line[] = L"Getting ready...";
    DrawBackground(window, expected.dc, 0);
    SetBkMode(expected.dc, TRANSPARENT);
    TextOutW(expected.dc, 380, 150, line, static_cast<int>(std::wcslen(line)));
    EXPECT_EQ(CompareScreens(got.dc, expected.dc, {0, 0, {{"Getting ready...", 380, 150}}}), "");
}

}  // namespace
