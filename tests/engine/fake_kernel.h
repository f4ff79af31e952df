// A fake clock and fake scratch-file operations, linked into the phase tests
// in place of the platform's: the engine calls GetTickCount, CreateFileA,
// WriteFile and CloseHandle, and these answer as each test scripts them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fake {

struct KernelScript {
    // The tick count for the n-th read (n from 0).
    std::function<DWORD(std::uint64_t n)> tick;
    // Whether the n-th create succeeds.
    std::function<bool(std::uint64_t n)> createSucceeds = [](std::uint64_t) { return true; };
    // Bytes the n-th write reports; by default all of them.
    std::function<DWORD(std::uint64_t n, DWORD requested)> bytesWritten =
        [](std::uint64_t, DWORD requested) { return requested; };
};

struct KernelRecord {
    std::uint64_t tickReads = 0;
    DWORD lastTick = 0;
    std::uint64_t creates = 0;
    std::uint64_t writes = 0;
    std::uint64_t closes = 0;
    std::uint64_t openHandles = 0;
    std::string lastPath;
    DWORD lastAccess = 0, lastShare = ~0u, lastDisposition = 0, lastFlags = 0;
    std::vector<std::uint8_t> firstContent, lastContent;
    bool contentDiffered = false;
};

// Sets the script and clears the record.
void Reset(KernelScript script);
const KernelRecord& Record();

}  // namespace fake
