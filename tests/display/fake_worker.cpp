#include "fake_worker.h"

#include "bench_state.h"

#include <atomic>

namespace {

std::atomic<int> starts{0};

}  // namespace

namespace fake {

int WorkerStarts()
{
    return starts.load();
}

bool WaitForWorkerStarts(int count)
{
    for (int waited = 0; starts.load() < count && waited < 5000; waited += 10) {
        Sleep(10);
    }
    return starts.load() >= count;
}

}  // namespace fake

// Leaves BenchState alone: each test sets it as it needs.
DWORD WINAPI BenchThreadProc(LPVOID)
{
    starts.fetch_add(1);
    return 0;
}
