// What a run measured in a child process tells the process that started it,
// one line each on the child's stdout, a pipe to the parent:
//
//   live SECONDS CPU_LOOPS FPU_LOOPS SD_WRITES   the countdown and the counts so far,
//                                                every watch period while the run lasts
//   counts CPU_LOOPS FPU_LOOPS SD_WRITES          the final counts, once, at the end
//
// Plain decimal numbers, one space apart; the parent ignores a line it does
// not know, and a '\r' before the '\n' (Windows' text mode writes one).
#pragma once

#include "text_buffer.h"

#include <cstddef>
#include <cstdint>

// The hidden option that makes a process such a child.
constexpr const char* CHILD_RUN_OPTION = "--child-run";

enum RunRecordKind { RECORD_UNKNOWN, RECORD_LIVE, RECORD_COUNTS };

struct RunRecord {
    RunRecordKind kind;
    std::uint64_t secondsLeft;  // RECORD_LIVE
    std::uint64_t cpuLoops;
    std::uint64_t fpuLoops;
    std::uint64_t sdWrites;
};

void AppendRunRecord(TextBuffer& buffer, const RunRecord& record);

// One line, without its '\n'.
RunRecord ReadRunRecord(const char* line, std::size_t length);

// Gathers the bytes read from a child into lines. A line longer than any
// record is dropped whole.
struct RecordLines {
    char line[128];
    std::size_t length;
    bool overlong;
};

// Hands each whole line in `bytes` to `onRecord`, keeping the rest for the
// next call.
template <typename OnRecord>
void FeedRecordLines(RecordLines& lines, const char* bytes, std::size_t size, OnRecord onRecord)
{
    for (std::size_t i = 0; i < size; ++i) {
        if (bytes[i] == '\n') {
            if (!lines.overlong) {
                onRecord(ReadRunRecord(lines.line, lines.length));
            }
            lines.length = 0;
            lines.overlong = false;
        } else if (lines.length < sizeof lines.line) {
            lines.line[lines.length++] = bytes[i];
        } else {
            lines.overlong = true;
        }
    }
}
