// The create the benchmark worker makes its scratch file with, on Windows:
// CreateFileA's parameters and results, except where the asked place
// refuses new files (see scratch_file.cpp).
#pragma once

#include <windows.h>

HANDLE WINAPI CreateScratchFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile);
