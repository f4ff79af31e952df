// Narrow text to Unicode in code page 932, the program's one character set
// (SHIFTJIS_CHARSET), with Windows' substitution for bytes it does not map.
#pragma once

#include <cstddef>
#include <string>

namespace koru::posix {

// What Windows draws for a byte its code page does not map (KATAKANA
// MIDDLE DOT, the code page 932 default character).
constexpr char32_t DEFAULT_CHARACTER = U'\u30FB';

std::u32string DecodeText(const char* bytes, std::size_t length);

std::string ToUtf8(const std::u32string& text);

}  // namespace koru::posix
