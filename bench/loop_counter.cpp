#include "loop_counter.h"

void CarryLoop(LoopCounter& counter)
{
    const std::uint32_t carries = counter.carries.load(std::memory_order_relaxed);
    counter.carries.store(carries + 1, std::memory_order_relaxed);
    // Every low word stored from here on, the wrapped 0 and the loops after
    // it, is ordered after the odd mark for a reader that sees it.
    std::atomic_thread_fence(std::memory_order_release);
    counter.low.store(0, std::memory_order_relaxed);
    counter.carries.store(carries + 2, std::memory_order_release);
}

std::uint64_t ReadCount(const LoopCounter& counter)
{
    for (;;) {
        const std::uint32_t before = counter.carries.load(std::memory_order_acquire);
        const std::uint32_t low = counter.low.load(std::memory_order_acquire);
        const std::uint32_t after = counter.carries.load(std::memory_order_relaxed);
        if (before % 2 != 0) {
            // Caught during a carry: the count is the carry's own value, no
            // need to wait for the writer.
            return (std::uint64_t{before} + 1) / 2 << 32;
        }
        if (before == after) {
            return std::uint64_t{before / 2} << 32 | low;
        }
        // A whole carry came and went meanwhile (after 2^32 loops): again.
    }
}

void StoreCount(LoopCounter& counter, std::uint64_t count)
{
    counter.low.store(static_cast<std::uint32_t>(count), std::memory_order_relaxed);
    counter.carries.store(static_cast<std::uint32_t>(count >> 32) * 2, std::memory_order_release);
}
