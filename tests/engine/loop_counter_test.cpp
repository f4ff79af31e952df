// The loop counter past 2^32: exact counts across carries, and a reader on
// another thread that never sees a count off by a carry. Built for both
// targets: the Windows one runs the same code on a 32-bit processor.
#include "loop_counter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstdint>
#include <thread>

namespace {

constexpr std::uint64_t TWO_TO_THE_32 = std::uint64_t{1} << 32;

TEST(LoopCounter, CountsExactlyAcrossCarries)
{
    LoopCounter counter;
    EXPECT_EQ(ReadCount(counter), 0u);
    for (const std::uint64_t start : {TWO_TO_THE_32 - 2, 5 * TWO_TO_THE_32 - 1, (std::uint64_t{1} << 40) - 3}) {
        StoreCount(counter, start);
        for (int i = 0; i < 5; ++i) {
            CountLoop(counter);
        }
        EXPECT_EQ(ReadCount(counter), start + 5) << "from " << start;
    }
    EXPECT_EQ(counter.carries.load(), 2u * 256u) << "the high word is kept doubled";
}

TEST(LoopCounter, ReaderCaughtInEveryStateOfACarrySeesNoTornCount)
{
    // The writer's steps through one carry from 7 * 2^32 - 1 to 7 * 2^32;
    // whichever of them a reader meets, it reads one of those two counts.
    LoopCounter counter;
    StoreCount(counter, 7 * TWO_TO_THE_32 - 1);
    const std::uint64_t before = 7 * TWO_TO_THE_32 - 1, after = 7 * TWO_TO_THE_32;
    EXPECT_EQ(ReadCount(counter), before);
    counter.carries.store(13);  // the carry is marked under way
    EXPECT_EQ(ReadCount(counter), after);
    counter.low.store(0);  // the low word has wrapped
    EXPECT_EQ(ReadCount(counter), after);
    counter.carries.store(14);  // the carry is done
    EXPECT_EQ(ReadCount(counter), after);
    CountLoop(counter);
    EXPECT_EQ(ReadCount(counter), after + 1);
}

TEST(LoopCounter, ConcurrentReaderNeverSeesATornOrFallingCount)
{
    // The writer goes through carry after carry: each round it sets the
    // count one loop short of the next multiple of 2^32 (which only changes
    // the low word) and counts two loops across it, while a reader on
    // another thread reads as fast as it can. Every true count then ends in
    // 0xFFFFFFFF, 0 or 1, and counts only grow; a torn read is 2^32 off, so
    // it breaks one or the other.
    constexpr std::uint32_t ROUNDS = 2000000;
    LoopCounter counter;
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (std::uint64_t k = 1; k <= ROUNDS; ++k) {
            StoreCount(counter, k * TWO_TO_THE_32 - 1);
            CountLoop(counter);
            CountLoop(counter);
        }
        writing.store(false, std::memory_order_release);
    });
    std::uint64_t last = 0, reads = 0, readsDuringCarry = 0, badReads = 0;
    bool more = true;
    while (more) {
        more = writing.load(std::memory_order_acquire);
        readsDuringCarry += counter.carries.load(std::memory_order_relaxed) % 2;
        const std::uint64_t count = ReadCount(counter);
        const auto low = static_cast<std::uint32_t>(count);
        if (count < last || (low != 0xFFFFFFFFu && low > 1)) {
            ++badReads;
        }
        last = count;
        ++reads;
    }
    writer.join();
    EXPECT_EQ(badReads, 0u);
    EXPECT_EQ(last, ROUNDS * TWO_TO_THE_32 + 1);
    std::printf("%llu reads during %u carries, %llu of them while a carry was under way\n",
                static_cast<unsigned long long>(reads), ROUNDS,
                static_cast<unsigned long long>(readsDuringCarry));
}

}  // namespace
