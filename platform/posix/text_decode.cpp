// Decoding with glibc's iconv, whose CP932 follows Microsoft's table (0x5C is
// the backslash, 0x815F U+FF3C). An unmapped byte becomes the default
// character and decoding goes on with the next byte, as Windows does; a lead
// byte cut off by the end of the text counts as one unmapped byte.
#include "text_decode.h"

#include <cerrno>
#include <iconv.h>
#include <vector>

namespace koru::posix {

namespace {

char32_t ReadUtf32Le(const unsigned char* bytes)
{
    return static_cast<char32_t>(bytes[0]) | static_cast<char32_t>(bytes[1]) << 8 |
           static_cast<char32_t>(bytes[2]) << 16 | static_cast<char32_t>(bytes[3]) << 24;
}

// Without a converter only ASCII is certain.
std::u32string DecodeAscii(const char* bytes, std::size_t length)
{
    std::u32string text;
    for (std::size_t i = 0; i < length; ++i) {
        const auto byte = static_cast<unsigned char>(bytes[i]);
        text.push_back(byte < 0x80 ? char32_t{byte} : DEFAULT_CHARACTER);
    }
    return text;
}

}  // namespace

std::u32string DecodeText(const char* bytes, std::size_t length)
{
    if (bytes == nullptr || length == 0) {
        return {};
    }
    iconv_t converter = iconv_open("UTF-32LE", "CP932");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        return DecodeAscii(bytes, length);
    }
    // Code page 932 gives at most one character a byte.
    std::vector<unsigned char> out(length * 4);
    char* in = const_cast<char*>(bytes);  // iconv's prototype, not a write
    std::size_t inLeft = length;
    char* outNext = reinterpret_cast<char*>(out.data());
    std::size_t outLeft = out.size();
    std::u32string text;
    auto flush = [&] {
        const std::size_t produced = out.size() - outLeft;
        for (std::size_t i = 0; i + 4 <= produced; i += 4) {
            text.push_back(ReadUtf32Le(out.data() + i));
        }
        outNext = reinterpret_cast<char*>(out.data());
        outLeft = out.size();
    };
    while (inLeft > 0) {
        if (iconv(converter, &in, &inLeft, &outNext, &outLeft) != static_cast<std::size_t>(-1)) {
            break;
        }
        const int error = errno;
        flush();
        if (error != EILSEQ && error != EINVAL) {
            break;
        }
        text.push_back(DEFAULT_CHARACTER);
        ++in;
        --inLeft;
        iconv(converter, nullptr, nullptr, nullptr, nullptr);
    }
    flush();
    iconv_close(converter);
    return text;
}

std::string ToUtf8(const std::u32string& text)
{
    std::string utf8;
    for (char32_t c : text) {
        if (c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            utf8.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            utf8.push_back(static_cast<char>(0xC0 | (c >> 6)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            utf8.push_back(static_cast<char>(0xE0 | (c >> 12)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            utf8.push_back(static_cast<char>(0xF0 | (c >> 18)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            utf8.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return utf8;
}

}  // namespace koru::posix
