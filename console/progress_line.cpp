#include "progress_line.h"

#include "text_buffer.h"

#include <cstdint>
#include <cstdio>

namespace {

// The ^C a terminal echoes over the line's first characters.
constexpr std::size_t ECHOED_INTERRUPT_LENGTH = 2;

void WriteToTerminal(const TextBuffer& buffer)
{
    // One write, so that no other thread's output comes in between.
    std::fwrite(buffer.text, 1, buffer.length, stderr);
    std::fflush(stderr);
}

}  // namespace

void DrawProgressLine(ProgressLine& line, RunOrdinal ordinal, DWORD secondsLeft, const PhaseFigures& figures)
{
    TextBuffer buffer{};
    if (ordinal.runs > 1) {
        AppendText(buffer, "run ");
        AppendNumber(buffer, static_cast<std::uint64_t>(ordinal.run));
        AppendText(buffer, " of ");
        AppendNumber(buffer, static_cast<std::uint64_t>(ordinal.runs));
        AppendText(buffer, "  ");
    }
    AppendNumber(buffer, secondsLeft);
    AppendText(buffer, " s left  CPU=");
    AppendNumber(buffer, static_cast<std::uint64_t>(figures.cpu));
    AppendText(buffer, "  FPU=");
    AppendNumber(buffer, static_cast<std::uint64_t>(figures.fpu));
    AppendText(buffer, "  SD=");
    AppendNumber(buffer, static_cast<std::uint64_t>(figures.sd));
    const std::size_t length = buffer.length;
    // Blanks over what a longer line left (15 s left, then 9 s left).
    if (line.shownLength > length) {
        AppendRepeated(buffer, ' ', line.shownLength - length);
    }
    AppendText(buffer, "\r");
    WriteToTerminal(buffer);
    line.shownLength = length;
}

void EraseProgressLine(ProgressLine& line)
{
    TextBuffer buffer{};
    AppendText(buffer, "\r");
    AppendRepeated(buffer, ' ', line.shownLength > ECHOED_INTERRUPT_LENGTH ? line.shownLength
                                                                          : ECHOED_INTERRUPT_LENGTH);
    AppendText(buffer, "\r");
    WriteToTerminal(buffer);
    line.shownLength = 0;
}
