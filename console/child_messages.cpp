#include "child_messages.h"

#include "console_control.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr std::size_t LONGEST_KEPT_LINE = 255;
constexpr int MOST_KEPT_LINES = 8;  // beyond these, new lines all go out

struct Line {
    char text[LONGEST_KEPT_LINE];
    std::size_t length;
};

Line partial{};                  // the child's line not yet ended
bool partialCut = false;         // some of it went out already
Line said[MOST_KEPT_LINES] = {};
int saidCount = 0;

bool SaidBefore(const Line& line)
{
    for (int i = 0; i < saidCount; ++i) {
        if (said[i].length == line.length && std::memcmp(said[i].text, line.text, line.length) == 0) {
            return true;
        }
    }
    return false;
}

void WriteOut(const char* text, std::size_t length, bool ended)
{
    WaitForOutputTurn(OUTPUT_DRAWING);
    if (ShowsProgress()) {
        EraseProgressLine(TheProgressLine());
    }
    std::fwrite(text, 1, length, stderr);
    if (ended) {
        std::fputc('\n', stderr);
    }
    std::fflush(stderr);
    GiveOutputTurnBack();
}

// The partial line is whole, or `ended` says it is cut off by the end of
// its child.
void PassOnLine(bool ended)
{
    // Windows' text mode ends the child's lines with "\r\n", and would
    // write this process's as "\r\r\n".
    if (partial.length > 0 && partial.text[partial.length - 1] == '\r') {
        --partial.length;
    }
    if (!partialCut && SaidBefore(partial)) {
        partial.length = 0;
        return;
    }
    if (!partialCut && saidCount < MOST_KEPT_LINES) {
        said[saidCount++] = partial;
    }
    WriteOut(partial.text, partial.length, ended);
    partial.length = 0;
    partialCut = false;
}

}  // namespace

void PassOnChildMessages(const char* bytes, std::size_t size)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n') {
            PassOnLine(true);
            continue;
        }
        if (partial.length == LONGEST_KEPT_LINE) {
            WriteOut(partial.text, partial.length, false);
            partial.length = 0;
            partialCut = true;
        }
        partial.text[partial.length++] = bytes[i];
    }
}

void EndChildMessages()
{
    if (partial.length > 0 || partialCut) {
        PassOnLine(true);
    }
}
