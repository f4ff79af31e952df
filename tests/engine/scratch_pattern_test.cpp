// The scratch file's content: fixed, identical on every fill.
#include "scratch_pattern.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

namespace {

constexpr std::size_t SIZE = 10240;

TEST(FillScratch, EveryFillIsTheSameFixedContent)
{
    std::vector<std::uint8_t> first(SIZE), second(SIZE);
    std::uint8_t pattern = SCRATCH_PATTERN_SEED;
    FillScratch(first.data(), SIZE, pattern);
    EXPECT_EQ(pattern, SCRATCH_PATTERN_SEED) << "the state must come back after 40 periods";
    FillScratch(second.data(), SIZE, pattern);
    EXPECT_EQ(first, second);

    const std::uint8_t opening[16] = {0x32, 0x6B, 0xEC, 0xF5, 0xC6, 0x9F, 0xC0, 0x69,
                                      0xDA, 0x53, 0x14, 0x5D, 0x6E, 0x87, 0xE8, 0xD1};
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(first[i], opening[i]) << "byte " << i;
    }

    std::array<int, 256> occurrences{};
    for (std::uint8_t byte : first) {
        ++occurrences[byte];
    }
    for (int value = 0; value < 256; ++value) {
        EXPECT_EQ(occurrences[value], 40) << "byte value " << value;
    }
}

}  // namespace
