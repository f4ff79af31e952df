// Process-wide state of the benchmark run, in static storage.
#include "bench_state.h"

MeasuredPage MeasuredMemory{{}, {1, 2, 3}, {1.0, 2.0, 3.0}};

static_assert(sizeof(std::atomic<std::uint32_t>) == 4 && alignof(std::atomic<std::uint32_t>) == 4);
static_assert(sizeof(std::atomic<bool>) == 1);
static_assert(std::atomic<std::uint32_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);
