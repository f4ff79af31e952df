#include "scratch_pattern.h"

void FillScratch(std::uint8_t* buffer, std::size_t size, std::uint8_t& pattern)
{
    std::uint8_t p = pattern;
    for (std::size_t i = 0; i < size; ++i) {
        p = static_cast<std::uint8_t>(0xA9u - 0x77u * p);
        buffer[i] = p;
    }
    pattern = p;
}
