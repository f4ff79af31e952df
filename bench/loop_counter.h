// A loop count that goes past 2^32 without a locked instruction and without
// a 64-bit memory access, so that it costs the same on 32-bit and 64-bit
// processors: a fast device counts more than 2^32 integer loops in one
// 5-second phase.
//
// The counter's only writer adds 1 to the low word with a plain load and
// store on every loop. When the low word wraps, the carry goes into
// `carries`, which holds twice the high word and is odd while a carry is
// being made. A reader on another thread reads `carries` on both sides of
// the low word: that tells a consistent pair from one caught between the two
// halves, and a reader never sees a count that is off by a carry.
#pragma once

#include <atomic>
#include <cstdint>

struct LoopCounter {
    std::atomic<std::uint32_t> low{0};
    std::atomic<std::uint32_t> carries{0};  // 2 * (count >> 32), plus 1 during a carry
};

static_assert(std::atomic<std::uint32_t>::is_always_lock_free);

// Moves a carry into the high part; taken once in 2^32 loops. With C
// linkage: the measured loops' assembly calls it too.
extern "C" [[gnu::noinline, gnu::cold]] void CarryLoop(LoopCounter& counter);

// One more loop, by the counter's only writer; the measured loops do the
// same in assembly (measured_loops.h). The carry test comes before the
// store, so that a wrapped low word is never seen without its carry.
inline void CountLoop(LoopCounter& counter)
{
    const std::uint32_t low = counter.low.load(std::memory_order_relaxed) + 1u;
    if (low == 0) [[unlikely]] {
        CarryLoop(counter);
        return;
    }
    counter.low.store(low, std::memory_order_relaxed);
}

// The count as it stands, from any thread; never torn, never behind a value
// already read.
std::uint64_t ReadCount(const LoopCounter& counter);

// Sets the count, by its writer, while nobody reads it (before a run).
void StoreCount(LoopCounter& counter, std::uint64_t count);
