// Where the scratch file lands on Windows.
//
// The worker asks for "c:\tmp.dat". Since Vista the root of C: lets an
// ordinary (not elevated) user make folders there but not files, and a file
// left there by an elevated run carries a high integrity label that an
// ordinary run cannot write; XP's limited accounts are refused alike. Our
// manifest's asInvoker turns off the virtual store that would otherwise
// redirect the create, so it just fails. Where the asked place refuses the
// file, or does not exist, the file therefore moves for the rest of the run
// to a folder of the program's own in the user's temporary folder:
// <temp>\koru-bench\tmp.dat, never a bare tmp.dat beside other programs'
// files. A sharing violation (another instance is writing the file) or a
// full disk passes, so neither moves it.
//
// The own place is reached through the wide-character calls: the ANSI form
// of a temporary folder under a user name outside the ANSI code page has '?'
// in it and names nothing.
#include "scratch_file.h"

#include <cstring>
#include <cwchar>

namespace {

constexpr wchar_t OWN_FOLDER[] = L"koru-bench\\";

// Decided by the first refused create. Only the worker creates the file, so
// neither needs a lock.
bool moved = false;
wchar_t ownFolder[MAX_PATH];   // <temp>\koru-bench\, with its backslash
std::size_t ownFolderLength;   // 0 where the folder cannot be named

// Whether a create that failed with `error` will fail at that place on
// every loop: the place refuses files, or is not there.
bool PlaceRefuses(DWORD error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED:
    case ERROR_WRITE_PROTECT:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_FILE_NOT_FOUND:  // no such drive, as Wine reports it
    case ERROR_INVALID_DRIVE:
    case ERROR_NOT_READY:       // a drive letter with no medium in it
        return true;
    default:
        return false;
    }
}

// Names the own folder and makes it when missing; its length, or 0 if it
// does not fit.
std::size_t FindOwnFolder()
{
    const DWORD tempLength = GetTempPathW(MAX_PATH, ownFolder);
    const std::size_t length = tempLength + std::wcslen(OWN_FOLDER);
    if (tempLength == 0 || length >= MAX_PATH) {
        return 0;
    }
    std::wcscpy(ownFolder + tempLength, OWN_FOLDER);
    CreateDirectoryW(ownFolder, nullptr);  // there already, or the creates fail too
    return length;
}

// The asked file's name in the own folder; false if it does not fit.
bool InOwnFolder(LPCSTR fileName, wchar_t (&path)[MAX_PATH])
{
    const char* slash = std::strrchr(fileName, '\\');
    const char* name = slash != nullptr ? slash + 1 : fileName;
    std::wmemcpy(path, ownFolder, ownFolderLength);
    return ownFolderLength != 0 &&
           MultiByteToWideChar(CP_ACP, 0, name, -1, path + ownFolderLength,
                               static_cast<int>(MAX_PATH - ownFolderLength)) > 1;
}

}  // namespace

HANDLE WINAPI CreateScratchFile(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode,
                                LPSECURITY_ATTRIBUTES security, DWORD disposition, DWORD flags,
                                HANDLE templateFile)
{
    if (!moved) {
        const HANDLE file =
            CreateFileA(fileName, desiredAccess, shareMode, security, disposition, flags, templateFile);
        if (file != INVALID_HANDLE_VALUE || !PlaceRefuses(GetLastError())) {
            return file;
        }
        moved = true;
        ownFolderLength = FindOwnFolder();
    }
    wchar_t path[MAX_PATH];
    if (!InOwnFolder(fileName, path)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;  // nothing is counted, as before the move
    }
    return CreateFileW(path, desiredAccess, shareMode, security, disposition, flags, templateFile);
}
