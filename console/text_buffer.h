// Text built in place, without allocating, for the few short lines the
// terminal program writes. What would not fit is left out; nothing written
// comes near the size.
#pragma once

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

struct TextBuffer {
    char text[1024];
    std::size_t length;
};

inline void AppendText(TextBuffer& buffer, const char* text)
{
    const std::size_t room = sizeof buffer.text - buffer.length;
    const std::size_t size = std::strlen(text);
    const std::size_t taken = size < room ? size : room;
    std::memcpy(buffer.text + buffer.length, text, taken);
    buffer.length += taken;
}

// Every digit of the count, whatever its size: counts go past 2^32.
inline void AppendNumber(TextBuffer& buffer, std::uint64_t number)
{
    char digits[20];
    const std::to_chars_result end = std::to_chars(digits, digits + sizeof digits, number);
    const std::size_t size = static_cast<std::size_t>(end.ptr - digits);
    if (size <= sizeof buffer.text - buffer.length) {
        std::memcpy(buffer.text + buffer.length, digits, size);
        buffer.length += size;
    }
}

inline void AppendRepeated(TextBuffer& buffer, char character, std::size_t count)
{
    for (; count > 0 && buffer.length < sizeof buffer.text; --count) {
        buffer.text[buffer.length++] = character;
    }
}
