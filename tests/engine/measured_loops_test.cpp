// The measured loops themselves, each build's assembly, driven by a
// scripted tick: one count and one tick read per loop to the deadline, a
// carry past 2^32, the work they do, and the stack offset they run at.
#include "bench_state.h"
#include "measured_loops.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <functional>

namespace {

constexpr DWORD NEAR_WRAP = 0xFFFFFFFFu - 2000u;
constexpr std::uint64_t TWO_TO_THE_32 = std::uint64_t{1} << 32;

struct TickScript {
    std::function<DWORD(std::uint64_t n)> tick;
    std::uint64_t reads = 0;
    std::uint64_t readsAtLoopStack = 0;
} script;

// Called by the loops as GetTickCount would be; notes where the caller's
// stack pointer stood (the frame's canonical address) in its page.
DWORD WINAPI ScriptedTick()
{
    const auto callerStack = reinterpret_cast<std::uintptr_t>(__builtin_dwarf_cfa());
    script.readsAtLoopStack += callerStack % MEASURED_PAGE_SIZE == LOOP_STACK_AT;
    return script.tick(script.reads++);
}

struct Loop {
    const char* name;
    void (*run)(DWORD, TickReader);
    LoopCounter& counter;
    DWORD end;
};
const Loop LOOPS[] = {{"integer", RunIntegerPhase, BenchState.cpuLoops, INT_PHASE_END_MS},
                      {"floating-point", RunRealPhase, BenchState.fpuLoops, REAL_PHASE_END_MS}};

std::uint64_t RunLoop(const Loop& loop, std::uint64_t from, std::function<DWORD(std::uint64_t)> tick)
{
    StoreCount(loop.counter, from);
    script = {std::move(tick)};
    loop.run(NEAR_WRAP, ScriptedTick);
    return ReadCount(loop.counter) - from;
}

TEST(MeasuredLoops, CountEachLoopOnceToTheDeadlineAcrossTheTickWrap)
{
    for (const Loop& loop : LOOPS) {
        // 1 ms a read: each loop is 1 ms long, the clock wraps 2 s in.
        EXPECT_EQ(RunLoop(loop, 0, [](std::uint64_t n) { return DWORD(NEAR_WRAP + 1 + n); }), loop.end) << loop.name;
        EXPECT_EQ(script.reads, loop.end) << loop.name << ": one tick read per loop";
        EXPECT_EQ(script.readsAtLoopStack, loop.end) << loop.name << ": the stack at its offset in its page";
        // Past the deadline at the first read: one loop all the same.
        EXPECT_EQ(RunLoop(loop, 0, [](std::uint64_t) { return NEAR_WRAP + 60000; }), 1u) << loop.name;
        // A count 3 short of 2^32 carries into the high word and goes on.
        EXPECT_EQ(RunLoop(loop, 5 * TWO_TO_THE_32 - 3, [](std::uint64_t n) { return DWORD(NEAR_WRAP + 1 + n); }),
                  loop.end)
            << loop.name;
    }
}

TEST(MeasuredLoops, DoTheirWorkOnTheSharedValues)
{
    const auto loops = [](std::uint64_t count) {
        return [count](std::uint64_t n) { return n + 1 < count ? NEAR_WRAP : NEAR_WRAP + 60000; };
    };
    IntWork.a = 1;
    IntWork.b = 2;
    IntWork.c = 3;
    RunLoop(LOOPS[0], 0, loops(2));
    EXPECT_EQ(IntWork.a, 2u * 5u) << "a = a * b, from the values one loop before";
    EXPECT_EQ(IntWork.b, 5u + 3u) << "b = b + c";
    EXPECT_EQ(IntWork.c, 2u + 5u) << "c = a + b";
    RunLoop(LOOPS[0], 0, loops(31));
    EXPECT_EQ(IntWork.a, 0u) << "a wraps to 0 after 33 loops";

    RealWork.x = 1.0;
    RealWork.y = 2.0;
    RealWork.z = 3.0;
    RunLoop(LOOPS[1], 0, loops(2));
    EXPECT_EQ(RealWork.x, 2.0 * 5.0);
    EXPECT_EQ(RealWork.y, 5.0 + 3.0);
    EXPECT_EQ(RealWork.z, 2.0 + 5.0);
    RunLoop(LOOPS[1], 0, loops(17));
    for (double value : {RealWork.x, RealWork.y, RealWork.z}) {
        EXPECT_TRUE(std::isinf(value) && value > 0) << "every value +infinity from loop 19 on";
    }
}

}  // namespace
