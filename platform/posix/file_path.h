// Where a Windows path lands on Linux. Linux has no drive letters, so the
// root of drive C: is mapped to a per-user directory on disk (not a tmpfs,
// so that writes measure storage): $XDG_CACHE_HOME/koru-bench, or
// ~/.cache/koru-bench. Backslashes become slashes. Any other path is taken
// as a POSIX path.
#pragma once

#include <string>

namespace koru::posix {

// The per-user directory that stands for "c:\" and the cache directory it
// lies in ($XDG_CACHE_HOME or ~/.cache); false if no home is known.
struct DriveCPlace {
    std::string cache;
    std::string directory;
};
bool FindDriveC(DriveCPlace& place);

// The directory alone; empty if no home is known.
std::string DriveCDirectory();

// The part of `windowsPath` after "c:\" (or "c:/"); null if it is not on
// drive C.
const char* DriveCRest(const char* windowsPath);

// Maps `windowsPath`; returns false when it cannot be mapped.
bool MapWindowsPath(const char* windowsPath, std::string& posixPath);

}  // namespace koru::posix
