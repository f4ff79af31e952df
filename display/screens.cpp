// Screen composition: a background picture with up to four lines of text
// over it, in the paint context's default text colour (black). The lines in
// the screen font are code page 932 text; the first-paint line, in the
// context's own font, is ASCII, which every ANSI code page shares.
#include "screens.h"

#include "background.h"
#include "bench_state.h"
#include "countdown.h"
#include "grading.h"

#include <cstdint>
#include <cstdio>

namespace {

constexpr int COUNTDOWN_FONT_HEIGHT = 30;
constexpr int RESULTS_FONT_HEIGHT = 25;

// Drawn in whatever font a Windows of any language gives a new context, so
// ASCII only, and neither backslash nor tilde (some code pages show a yen
// sign and an overline there).
constexpr const char* TEXT_GETTING_READY = "Getting ready...";
// "のこり%d秒" (so many seconds left), code page 932
constexpr const char* FORMAT_SECONDS_LEFT = "\x82\xCC\x82\xB1\x82\xE8%d\x95\x62";

struct TextLine {
    const char* format;
    int value;
    int x, y;
};

// Draws each line with the current font; no formatted line comes near the
// buffer's size, and snprintf would cut one that did.
void DrawLines(HDC dc, const TextLine* lines, int count)
{
    char text[1024];
    for (int i = 0; i < count; ++i) {
        const int length = std::snprintf(text, sizeof text, lines[i].format, lines[i].value);
        if (length > 0) {
            TextOutA(dc, lines[i].x, lines[i].y, text,
                     length < static_cast<int>(sizeof text) ? length : static_cast<int>(sizeof text) - 1);
        }
    }
}

struct RunCounts {
    std::uint64_t cpu, fpu, sd;
};

// The counts as the window thread sees them now.
RunCounts ReadCounts()
{
    return {ReadCount(BenchState.cpuLoops), ReadCount(BenchState.fpuLoops), ReadCount(BenchState.sdWrites)};
}

}  // namespace

void ComposeFirstPaintScreen(HWND window, HDC dc)
{
    DrawBackground(window, dc, 0);
    SetBkMode(dc, TRANSPARENT);
    const TextLine line = {TEXT_GETTING_READY, 0, 380, 150};
    DrawLines(dc, &line, 1);
}

void ComposeCountdownScreen(HWND window, HDC dc, DWORD seconds)
{
    HFONT font = CreateTextFont(COUNTDOWN_FONT_HEIGHT);
    HGDIOBJ previousFont = SelectObject(dc, font);
    DrawBackground(window, dc, 0);
    SetBkMode(dc, TRANSPARENT);
    // Past 16 the value only means the worker's last write is still going:
    // nothing is left of the run, so show 0.
    const int secondsLeft = seconds > LONGEST_COUNTDOWN_SECONDS ? 0 : static_cast<int>(seconds);
    const RunCounts counts = ReadCounts();
    const PhaseFigures figures = ComputeFigures(counts.cpu, counts.fpu, counts.sd);
    const TextLine lines[] = {
        {FORMAT_SECONDS_LEFT, secondsLeft, 400, 130},
        {"CPU=%d", figures.cpu, 400, 180},
        {"FPU=%d", figures.fpu, 400, 220},
        {"SD=%d", figures.sd, 400, 260},
    };
    DrawLines(dc, lines, 4);
    SelectObject(dc, previousFont);
    DeleteObject(font);
}

void ComposeResultsScreen(HWND window, HDC dc)
{
    const RunCounts counts = ReadCounts();
    const PhaseFigures figures = ComputeFigures(counts.cpu, counts.fpu, counts.sd);
    const LevelResult level = GradeRun(counts.cpu, counts.fpu, counts.sd);
    HFONT font = CreateTextFont(RESULTS_FONT_HEIGHT);
    HGDIOBJ previousFont = SelectObject(dc, font);
    DrawBackground(window, dc, level.band);
    SetBkMode(dc, TRANSPARENT);
    const TextLine lines[] = {
        {".%02d", level.fraction, 510, 135},
        {"CPU=%d", figures.cpu, 400, 170},
        {"FPU=%d", figures.fpu, 400, 195},
        {"SD=%d", figures.sd, 400, 220},
    };
    DrawLines(dc, lines, 4);
    SelectObject(dc, previousFont);
    DeleteObject(font);
}
