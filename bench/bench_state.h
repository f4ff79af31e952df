// The record of the one benchmark run, shared by the worker (its only writer)
// and the window thread (reader), and the worker's entry point.
//
// Sharing rules, since there is no lock: each field is made of aligned
// words or one byte. The worker counts with plain relaxed loads and stores
// (no locked instructions on the measured path; see loop_counter.h for how a
// count passes 2^32) and clears `running` last, with release; a reader that
// loads `running` with acquire and sees false therefore sees the final
// counts.
#pragma once

#include "loop_counter.h"

#include <windows.h>

#include <atomic>
#include <cstdint>

struct BenchRecord {
    std::atomic<std::uint32_t> startTick{0};
    LoopCounter cpuLoops;
    LoopCounter fpuLoops;
    LoopCounter sdWrites;
    std::atomic<bool> running{true};
};

extern BenchRecord BenchState;

// The arithmetic the two compute phases repeat. Process-wide and volatile so
// that every loop loads the three values and stores the three results: the
// work can be neither hoisted out of the loop nor merged across loops.
struct IntWorkValues {
    std::uint32_t a, b, c;  // wrap modulo 2^32
};
struct RealWorkValues {
    double x, y, z;
};
extern volatile IntWorkValues IntWork;
extern volatile RealWorkValues RealWork;

// Phase deadlines, all counted from the one start reading.
constexpr DWORD INT_PHASE_END_MS = 5000;
constexpr DWORD REAL_PHASE_END_MS = 10000;
constexpr DWORD STORAGE_PHASE_END_MS = 15000;

constexpr DWORD SCRATCH_SIZE = 10240;
// The platform decides where it lands (scratch_file.h): on Linux the drive-C
// root is a per-user directory; on Windows a root that refuses new files
// sends it to a folder of the program's own in the user's temporary folder.
constexpr const char* SCRATCH_PATH = "c:\\tmp.dat";

// Runs the three phases once and clears `running`. The parameter is ignored.
DWORD WINAPI BenchThreadProc(LPVOID parameter);
