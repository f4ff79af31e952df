// What a screen should look like, drawn by the test itself from its own
// table with the same pictures and font, and a pixel-for-pixel comparison
// with what the paint drew. Not a stored image: a font update changes both
// sides alike, while a line's bytes, position, font height or colour, the
// picture, or anything drawn besides, shows as a difference.
#pragma once

#include "gdi/ink.h"
#include "test_instance.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

struct ExpectedLine {
    const char* text;  // bytes as TextOutA takes them
    int x, y;
};

struct ExpectedScreen {
    int picture;     // DrawBackground index
    int fontHeight;  // CreateTextFont height; 0: the context's own font
    std::vector<ExpectedLine> lines;
};

// The run as a test sets it, in place of the worker.
struct RunState {
    std::uint64_t cpuLoops = 0, fpuLoops = 0, sdWrites = 0;
    DWORD startTick = 0;
    bool running = true;
};

void SetRun(const RunState& run);

// Draws `screen` as the paint should: picture, transparent background, each
// line with TextOutA in the default text colour.
void DrawExpected(HWND window, HDC dc, const ExpectedScreen& screen);

// "" when the pages are the same pixel for pixel; otherwise, for each line
// whose ink box holds differing pixels, the line, its box and where they
// differ, and where any other pixels differ.
std::string CompareScreens(HDC got, HDC expected, const ExpectedScreen& screen);

// A hidden window whose instance holds the pictures, and a page to paint
// into and one to draw the expectation on.
class ScreenTest : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    static void TearDownTestSuite();
    void TearDown() override;

    static HWND window;
    Page got;
    Page expected;
};
