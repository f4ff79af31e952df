// The loop counter read from a signal handler that interrupts its writer at
// arbitrary instructions, tens of thousands of times, many of them inside a
// carry: whatever order the writer's stores come in, a read in between must
// never give a count off by a carry.
#include "loop_counter.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/time.h>

#include <atomic>
#include <chrono>
#include <cstdint>

namespace {

constexpr std::uint64_t TWO_TO_THE_32 = std::uint64_t{1} << 32;

LoopCounter counter;
std::atomic<std::uint64_t> interruptedReads{0}, badReads{0}, readsDuringCarry{0};

// The counts a round goes through: from where the last round ended up to
// where this one ends, each ending in 0xFFFFFFFF, 0 or 1 (see below).
std::atomic<std::uint64_t> lowest{0}, highest{0};
std::atomic<bool> stopping{false};

void ReadInHandler(int)
{
    readsDuringCarry.fetch_add(counter.carries.load(std::memory_order_relaxed) % 2, std::memory_order_relaxed);
    const std::uint64_t count = ReadCount(counter);
    const auto low = static_cast<std::uint32_t>(count);
    if (count < lowest.load(std::memory_order_relaxed) || count > highest.load(std::memory_order_relaxed) ||
        (low != 0xFFFFFFFFu && low > 1)) {
        badReads.fetch_add(1, std::memory_order_relaxed);
    }
    interruptedReads.fetch_add(1, std::memory_order_relaxed);
    // Armed again from here, not periodic: where delivering a signal takes
    // longer than the period, a periodic timer left the writer no time.
    if (!stopping.load(std::memory_order_relaxed)) {
        const itimerval in10us{{0, 0}, {0, 10}};
        setitimer(ITIMER_REAL, &in10us, nullptr);
    }
}

TEST(LoopCounter, ReadsInterruptingTheWriterAnywhereAreNeverTorn)
{
    struct sigaction action{};
    action.sa_handler = ReadInHandler;
    sigemptyset(&action.sa_mask);
    ASSERT_EQ(sigaction(SIGALRM, &action, nullptr), 0);
    const itimerval in10us{{0, 0}, {0, 10}};
    ASSERT_EQ(setitimer(ITIMER_REAL, &in10us, nullptr), 0);
    // Each round sets the count one loop short of the next multiple of 2^32
    // (only the low word changes) and counts two loops across it.
    // Until there are enough reads and a few dozen of them inside a carry,
    // which a busy machine can take seconds to land.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    std::uint64_t k = 1;
    while ((interruptedReads.load(std::memory_order_relaxed) < 20000 ||
            readsDuringCarry.load(std::memory_order_relaxed) < 24) &&
           (k % 1024 != 0 || std::chrono::steady_clock::now() < giveUp)) {
        lowest.store(ReadCount(counter), std::memory_order_relaxed);
        highest.store(k * TWO_TO_THE_32 + 1, std::memory_order_relaxed);
        std::atomic_signal_fence(std::memory_order_seq_cst);
        StoreCount(counter, k * TWO_TO_THE_32 - 1);
        CountLoop(counter);
        CountLoop(counter);
        ++k;
    }
    stopping.store(true, std::memory_order_relaxed);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    const itimerval off{};
    setitimer(ITIMER_REAL, &off, nullptr);
    signal(SIGALRM, SIG_DFL);
    EXPECT_EQ(badReads.load(), 0u);
    EXPECT_GT(readsDuringCarry.load(), 0u) << "no read landed inside a carry";
    std::printf("%llu interrupting reads over %llu carries, %llu of them inside a carry\n",
                static_cast<unsigned long long>(interruptedReads.load()),
                static_cast<unsigned long long>(k - 1),
                static_cast<unsigned long long>(readsDuringCarry.load()));
}

}  // namespace
