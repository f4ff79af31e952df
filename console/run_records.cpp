#include "run_records.h"

#include <charconv>
#include <cstring>
#include <initializer_list>

namespace {

constexpr const char* LIVE_WORD = "live";
constexpr const char* COUNTS_WORD = "counts";

// The word at `at`, up to a space or the end; moves `at` past it and the
// space after it.
bool TakeWord(const char*& at, const char* end, const char* word)
{
    const std::size_t size = std::strlen(word);
    if (static_cast<std::size_t>(end - at) < size || std::memcmp(at, word, size) != 0 ||
        (at + size != end && at[size] != ' ')) {
        return false;
    }
    at += size;
    if (at != end) {
        ++at;
    }
    return true;
}

bool TakeNumber(const char*& at, const char* end, std::uint64_t& number)
{
    const std::from_chars_result read = std::from_chars(at, end, number);
    if (read.ec != std::errc() || read.ptr == at || (read.ptr != end && *read.ptr != ' ')) {
        return false;
    }
    at = read.ptr == end ? end : read.ptr + 1;
    return true;
}

}  // namespace

void AppendRunRecord(TextBuffer& buffer, const RunRecord& record)
{
    if (record.kind == RECORD_LIVE) {
        AppendText(buffer, LIVE_WORD);
        AppendText(buffer, " ");
        AppendNumber(buffer, record.secondsLeft);
    } else {
        AppendText(buffer, COUNTS_WORD);
    }
    for (const std::uint64_t number : {record.cpuLoops, record.fpuLoops, record.sdWrites}) {
        AppendText(buffer, " ");
        AppendNumber(buffer, number);
    }
    AppendText(buffer, "\n");
}

RunRecord ReadRunRecord(const char* line, std::size_t length)
{
    const char* end = line + length;
    if (end != line && end[-1] == '\r') {
        --end;
    }
    const char* at = line;
    RunRecord record{};
    if (TakeWord(at, end, LIVE_WORD)) {
        record.kind = RECORD_LIVE;
        if (!TakeNumber(at, end, record.secondsLeft)) {
            return {};
        }
    } else if (TakeWord(at, end, COUNTS_WORD)) {
        record.kind = RECORD_COUNTS;
    } else {
        return {};
    }
    if (!TakeNumber(at, end, record.cpuLoops) || !TakeNumber(at, end, record.fpuLoops) ||
        !TakeNumber(at, end, record.sdWrites) || at != end) {
        return {};
    }
    return record;
}
