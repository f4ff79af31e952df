// Narrow text to Unicode in the code page a font's character set implies,
// with Windows' substitution for bytes the code page does not map.
#pragma once

#include <cstddef>
#include <string>

namespace koru::posix {

// What Windows draws for a byte its code page does not map (KATAKANA
// MIDDLE DOT, the code page 932 default character).
constexpr char32_t DEFAULT_CHARACTER = U'\u30FB';

// ANSI_CHARSET decodes as code page 1252; every other character set as 932,
// the system code page of the Japanese Windows this program was made for.
std::u32string DecodeText(const char* bytes, std::size_t length, unsigned charSet);

std::string ToUtf8(const std::u32string& text);

}  // namespace koru::posix
