// The benchmark worker: three timed phases, each counting the loops it
// completes before its deadline. The two compute phases' loops are assembly
// (measured_loops.h); the storage phase's cost is the file system's, and its
// loop is here. Deadlines compare elapsed = now - start in wrapping unsigned
// arithmetic, so a tick-count wrap neither ends nor prolongs a phase.
#include "bench_state.h"
#include "measured_loops.h"
#include "scratch_pattern.h"

#include <scratch_file.h>

namespace {

// Creates the scratch file afresh and writes it whole, once per loop; only a
// write that reports every byte counts. A file that cannot be created costs
// the loop nothing but the attempt.
void RunStoragePhase(DWORD start)
{
    std::uint8_t buffer[SCRATCH_SIZE];
    std::uint8_t pattern = SCRATCH_PATTERN_SEED;
    do {
        FillScratch(buffer, sizeof buffer, pattern);
        HANDLE file = CreateScratchFile(SCRATCH_PATH, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;  // WriteFile stores it too; never read it unset
            WriteFile(file, buffer, SCRATCH_SIZE, &written, nullptr);
            CloseHandle(file);
            if (written == SCRATCH_SIZE) {
                CountLoop(BenchState.sdWrites);
            }
        }
    } while (GetTickCount() - start < STORAGE_PHASE_END_MS);
}

}  // namespace

DWORD WINAPI BenchThreadProc(LPVOID)
{
    const DWORD start = GetTickCount();
    BenchState.startTick.store(start, std::memory_order_relaxed);
    RunIntegerPhase(start, GetTickCount);
    RunRealPhase(start, GetTickCount);
    RunStoragePhase(start);
    // Last store of the run: publishes the final counts to the window thread.
    BenchState.running.store(false, std::memory_order_release);
    return 0;
}
