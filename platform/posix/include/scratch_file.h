// The create the benchmark worker makes its scratch file with. On Linux it
// is CreateFileA itself, which already maps the root of drive C to the
// user's own scratch directory (drive_c.h).
#pragma once

#include <windows.h>

inline HANDLE WINAPI CreateScratchFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                       LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                       HANDLE templateFile)
{
    return CreateFileA(fileName, desiredAccess, shareMode, security, disposition, flags, templateFile);
}
