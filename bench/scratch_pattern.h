// The scratch file's content: a byte generator of period 256, so a 10240-byte
// fill (40 periods) returns the state to where it began and every file
// written is identical.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint8_t SCRATCH_PATTERN_SEED = 1;

// Fills `size` bytes, each the next state p = (0xA9 - 0x77 * p) mod 256.
void FillScratch(std::uint8_t* buffer, std::size_t size, std::uint8_t& pattern);
