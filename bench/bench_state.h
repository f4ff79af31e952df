// The record of the one benchmark run, shared by the worker (its only writer)
// and the window thread (reader), and the worker's entry point.
//
// Sharing rules, since there is no lock: each field is made of aligned
// words or one byte. The worker counts with plain loads and stores (no
// locked instructions on the measured path; see loop_counter.h for how a
// count passes 2^32) and clears `running` last, with release; a reader that
// loads `running` with acquire and sees false therefore sees the final
// counts.
#pragma once

#include "loop_counter.h"
#include "measured_page.h"

#include <windows.h>

#include <atomic>
#include <cstddef>
#include <cstdint>

struct BenchRecord {
    alignas(MEASURED_LINE_SIZE) std::atomic<std::uint32_t> startTick{0};
    alignas(MEASURED_LINE_SIZE) LoopCounter cpuLoops;
    alignas(MEASURED_LINE_SIZE) LoopCounter fpuLoops;
    alignas(MEASURED_LINE_SIZE) LoopCounter sdWrites;
    alignas(MEASURED_LINE_SIZE) std::atomic<bool> running{true};
};

// The arithmetic the two compute phases repeat. Process-wide and volatile:
// every loop loads the three values and stores the three results, so the
// work can be neither hoisted out of the loop nor merged across loops.
struct IntWorkValues {
    std::uint32_t a, b, c;  // wrap modulo 2^32
};
struct RealWorkValues {
    double x, y, z;
};

// Everything the measured loops read and write but the tick and the stack,
// laid out once for every build (measured_page.h).
struct alignas(MEASURED_PAGE_SIZE) MeasuredPage {
    BenchRecord state;
    alignas(MEASURED_LINE_SIZE) volatile IntWorkValues intWork;
    alignas(MEASURED_LINE_SIZE) volatile RealWorkValues realWork;
};

extern MeasuredPage MeasuredMemory;
inline constexpr BenchRecord& BenchState = MeasuredMemory.state;
inline constexpr volatile IntWorkValues& IntWork = MeasuredMemory.intWork;
inline constexpr volatile RealWorkValues& RealWork = MeasuredMemory.realWork;

static_assert(sizeof(MeasuredPage) == MEASURED_PAGE_SIZE);
static_assert(offsetof(MeasuredPage, state.startTick) == START_TICK_AT);
static_assert(offsetof(MeasuredPage, state.cpuLoops.low) == CPU_LOOPS_AT);
static_assert(offsetof(MeasuredPage, state.fpuLoops.low) == FPU_LOOPS_AT);
static_assert(offsetof(MeasuredPage, state.sdWrites.low) == SD_WRITES_AT);
static_assert(offsetof(MeasuredPage, state.running) == RUNNING_AT);
static_assert(offsetof(MeasuredPage, intWork) == INT_WORK_AT);
static_assert(offsetof(MeasuredPage, realWork) == REAL_WORK_AT);

// Phase deadlines, all counted from the one start reading.
constexpr DWORD INT_PHASE_END_MS = INT_PHASE_END;
constexpr DWORD REAL_PHASE_END_MS = REAL_PHASE_END;
constexpr DWORD STORAGE_PHASE_END_MS = STORAGE_PHASE_END;

constexpr DWORD SCRATCH_SIZE = 10240;
// The platform decides where it lands (scratch_file.h): on Linux the drive-C
// root is a per-user directory; on Windows a root that refuses new files
// sends it to a folder of the program's own in the user's temporary folder.
constexpr const char* SCRATCH_PATH = "c:\\tmp.dat";

// Runs the three phases once and clears `running`. The parameter is ignored.
DWORD WINAPI BenchThreadProc(LPVOID parameter);
