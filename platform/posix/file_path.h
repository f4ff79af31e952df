// Where a Windows path lands on Linux. Linux has no drive letters, so the
// root of drive C: is mapped to a per-user directory on disk (not a tmpfs,
// so that writes measure storage): $XDG_CACHE_HOME/koru-bench, or
// ~/.cache/koru-bench. Backslashes become slashes. Any other path is taken
// as a POSIX path.
#pragma once

#include <string>

namespace koru::posix {

// The per-user directory that stands for "c:\"; empty if no home is known.
std::string DriveCDirectory();

// Maps `windowsPath`; returns false when it cannot be mapped.
bool MapWindowsPath(const char* windowsPath, std::string& posixPath);

// Creates `directory` and any missing parents, each mode 0700.
bool MakePrivateDirectories(const std::string& directory);

}  // namespace koru::posix
