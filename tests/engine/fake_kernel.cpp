#include "fake_kernel.h"

#include <cstring>

namespace {

fake::KernelScript script;
fake::KernelRecord record;
int fakeFile;  // its address is the one handle the fake hands out

}  // namespace

namespace fake {

void Reset(KernelScript newScript)
{
    script = std::move(newScript);
    record = KernelRecord{};
}

const KernelRecord& Record() { return record; }

}  // namespace fake

DWORD WINAPI GetTickCount(void)
{
    record.lastTick = script.tick(record.tickReads++);
    return record.lastTick;
}

HANDLE WINAPI CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                          LPSECURITY_ATTRIBUTES, DWORD disposition, DWORD flags, HANDLE)
{
    record.lastPath = fileName;
    record.lastAccess = desiredAccess;
    record.lastShare = shareMode;
    record.lastDisposition = disposition;
    record.lastFlags = flags;
    if (!script.createSucceeds(record.creates++)) {
        return INVALID_HANDLE_VALUE;
    }
    ++record.openHandles;
    return &fakeFile;
}

BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
                      LPOVERLAPPED)
{
    *bytesWritten = 0;
    if (file != &fakeFile) {
        return FALSE;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    std::vector<std::uint8_t> content(bytes, bytes + bytesToWrite);
    if (record.writes == 0) {
        record.firstContent = content;
    } else if (content != record.firstContent) {
        record.contentDiffered = true;
    }
    record.lastContent = std::move(content);
    *bytesWritten = script.bytesWritten(record.writes++, bytesToWrite);
    return *bytesWritten == bytesToWrite;
}

BOOL WINAPI CloseHandle(HANDLE handle)
{
    if (handle != &fakeFile) {
        return FALSE;
    }
    ++record.closes;
    --record.openHandles;
    return TRUE;
}
