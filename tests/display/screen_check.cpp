#include "display/screen_check.h"

#include "display/read_pixels.h"

#include "background.h"
#include "bench_state.h"
#include "paint_main_window.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr char CLASS_NAME[] = "KORU_SCREEN_TEST";

struct Box {
    RECT rect;
    int pixels;
};

bool Inside(const RECT& rect, int x, int y)
{
    return x >= rect.left && x < rect.right && y >= rect.top && y < rect.bottom;
}

void Include(Box& box, int x, int y)
{
    if (box.pixels++ == 0) {
        box.rect = {x, y, x + 1, y + 1};
        return;
    }
    box.rect.left = x < box.rect.left ? x : box.rect.left;
    box.rect.top = y < box.rect.top ? y : box.rect.top;
    box.rect.right = x + 1 > box.rect.right ? x + 1 : box.rect.right;
    box.rect.bottom = y + 1 > box.rect.bottom ? y + 1 : box.rect.bottom;
}

std::string Describe(const RECT& rect)
{
    char text[64];
    std::snprintf(text, sizeof text, "{%ld,%ld..%ld,%ld}", static_cast<long>(rect.left),
                  static_cast<long>(rect.top), static_cast<long>(rect.right), static_cast<long>(rect.bottom));
    return text;
}

// Code page 932 characters shown as escapes, both bytes of a double-byte one.
std::string Printable(const char* text)
{
    std::string shown;
    bool trail = false;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto byte = static_cast<unsigned char>(*c);
        const bool lead = !trail && ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC));
        if (byte >= 0x20 && byte < 0x7F && !trail) {
            shown += *c;
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", byte);
            shown += escape;
        }
        trail = lead;
    }
    return shown;
}

// Draws the lines in the screen's font; `only` picks one line, -1 all.
void DrawLines(HDC dc, const ExpectedScreen& screen, int only)
{
    HFONT font = screen.fontHeight != 0 ? CreateTextFont(screen.fontHeight) : nullptr;
    HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    for (int i = 0; i < static_cast<int>(screen.lines.size()); ++i) {
        if (only == -1 || only == i) {
            const ExpectedLine& line = screen.lines[i];
            TextOutA(dc, line.x, line.y, line.text, static_cast<int>(std::strlen(line.text)));
        }
    }
    if (font != nullptr) {
        SelectObject(dc, previous);
        DeleteObject(font);
    }
}

// Where a line puts ink when drawn alone on white, widened by a pixel.
RECT LineInkBox(const ExpectedScreen& screen, int index)
{
    Page page;
    DrawLines(page.dc, screen, index);
    RECT ink = InkBounds(page.dc, WHOLE_PAGE);
    if (ink.right > ink.left) {
        ink = {ink.left - 1, ink.top - 1, ink.right + 1, ink.bottom + 1};
    }
    return ink;
}

}  // namespace

void SetRun(const RunState& run)
{
    StoreCount(BenchState.cpuLoops, run.cpuLoops);
    StoreCount(BenchState.fpuLoops, run.fpuLoops);
    StoreCount(BenchState.sdWrites, run.sdWrites);
    BenchState.startTick.store(run.startTick, std::memory_order_relaxed);
    BenchState.running.store(run.running, std::memory_order_release);
}

void DrawExpected(HWND window, HDC dc, const ExpectedScreen& screen)
{
    DrawBackground(window, dc, screen.picture);
    DrawLines(dc, screen, -1);
}

std::string CompareScreens(HDC got, HDC expected, const ExpectedScreen& screen)
{
    const std::vector<COLORREF> gotPixels = ReadPixels(got);
    const std::vector<COLORREF> expectedPixels = ReadPixels(expected);
    if (gotPixels.size() != PAGE_WIDTH * PAGE_HEIGHT || expectedPixels.size() != gotPixels.size()) {
        return "the pages could not be read";
    }
    if (gotPixels == expectedPixels) {
        return "";
    }
    std::vector<RECT> inkBoxes;
    for (int i = 0; i < static_cast<int>(screen.lines.size()); ++i) {
        inkBoxes.push_back(LineInkBox(screen, i));
    }
    std::vector<Box> lineDiffers(screen.lines.size(), Box{});
    Box elsewhere{};
    for (int y = 0; y < PAGE_HEIGHT; ++y) {
        for (int x = 0; x < PAGE_WIDTH; ++x) {
            if (gotPixels[y * PAGE_WIDTH + x] == expectedPixels[y * PAGE_WIDTH + x]) {
                continue;
            }
            bool onLine = false;
            for (std::size_t i = 0; i < inkBoxes.size(); ++i) {
                if (Inside(inkBoxes[i], x, y)) {
                    Include(lineDiffers[i], x, y);
                    onLine = true;
                }
            }
            if (!onLine) {
                Include(elsewhere, x, y);
            }
        }
    }
    std::string account;
    for (std::size_t i = 0; i < screen.lines.size(); ++i) {
        if (lineDiffers[i].pixels > 0) {
            const ExpectedLine& line = screen.lines[i];
            char text[128];
            std::snprintf(text, sizeof text, "\" at (%d, %d), height %d: %d pixels of its ink box ",
                          line.x, line.y, screen.fontHeight, lineDiffers[i].pixels);
            account += "line \"" + Printable(line.text) + text + Describe(inkBoxes[i]) +
                       " differ, within " + Describe(lineDiffers[i].rect) + "\n";
        }
    }
    if (elsewhere.pixels > 0) {
        account += std::to_string(elsewhere.pixels) + " pixels outside the lines' ink boxes differ, within " +
                   Describe(elsewhere.rect) + " (picture " + std::to_string(screen.picture) + ")\n";
    }
    return account;
}

HWND ScreenTest::window = nullptr;

void ScreenTest::SetUpTestSuite()
{
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = TestInstance();
    windowClass.lpszClassName = CLASS_NAME;
    RegisterClassA(&windowClass);
    window = CreateWindowExA(0, CLASS_NAME, "screen test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                             nullptr, nullptr, TestInstance(), nullptr);
}

void ScreenTest::TearDownTestSuite()
{
    DestroyWindow(window);
    window = nullptr;
}

void ScreenTest::TearDown()
{
    // A first paint starts the refresh timer; no later test wants its ticks.
    KillTimer(window, REFRESH_TIMER_ID);
}
