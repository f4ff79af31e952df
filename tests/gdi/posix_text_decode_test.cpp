// Code page 932 decoding as TextOutA does it, including the bytes Windows
// replaces with its default character.
#include "text_decode.h"

#include <gtest/gtest.h>

#include <ostream>

namespace {

using koru::posix::DecodeText;
using koru::posix::DEFAULT_CHARACTER;

struct DecodeCase {
    const char* what;
    std::string bytes;
    std::u32string expected;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const DecodeCase& c, std::ostream* out)
{
    *out << c.what;
}

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, Decodes)
{
    const DecodeCase& c = GetParam();
    EXPECT_EQ(DecodeText(c.bytes.data(), c.bytes.size()), c.expected) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Cp932, DecodeTest,
    ::testing::Values(
        DecodeCase{"countdown", "\x82\xcc\x82\xb1\x82\xe8" "12\x95\x62", U"のこり12秒"},
        DecodeCase{"face name", "\x82\x6C\x82\x72\x20\x83\x53\x83\x56\x83\x62\x83\x4E",
                   U"ＭＳ ゴシック"},
        DecodeCase{"0x5C is a backslash, not a yen sign", "\x5c", U"\\"},
        DecodeCase{"Microsoft's fullwidth reverse solidus", "\x81\x5f", U"\uff3c"},
        DecodeCase{"half-width katakana", "\xb1", U"\uff71"},
        DecodeCase{"unmapped byte, then on", "A\x80" "B", U"A\u30fbB"},
        DecodeCase{"0xA0 unmapped", "\xa0", U"\u30fb"},
        DecodeCase{"lone lead byte at the end", "A\x82", U"A\u30fb"},
        DecodeCase{"lead byte with a bad trail: the trail is read again", "\x82\x20" "x",
                   U"\u30fb x"},
        DecodeCase{"embedded NUL is text", std::string("a\0b", 3), std::u32string(U"a\0b", 3)}));

TEST(DecodeOther, EmptyAndNullGiveNothing)
{
    EXPECT_EQ(DecodeText(nullptr, 5), U"");
    EXPECT_EQ(DecodeText("abc", 0), U"");
    EXPECT_EQ(DEFAULT_CHARACTER, U'\u30fb');
}

}  // namespace
