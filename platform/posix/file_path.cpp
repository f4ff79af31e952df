#include "file_path.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace koru::posix {

bool FindDriveC(DriveCPlace& place)
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    // The XDG rules ignore a relative value.
    if (cache != nullptr && cache[0] == '/') {
        place.cache = cache;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] != '/') {
            const passwd* entry = getpwuid(getuid());
            home = entry != nullptr ? entry->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] != '/') {
            return false;
        }
        place.cache = std::string(home) + "/.cache";
    }
    place.directory = place.cache + "/koru-bench";
    return true;
}

std::string DriveCDirectory()
{
    DriveCPlace place;
    return FindDriveC(place) ? place.directory : std::string();
}

const char* DriveCRest(const char* windowsPath)
{
    if (windowsPath == nullptr) {
        return nullptr;
    }
    const bool onDriveC = (windowsPath[0] == 'c' || windowsPath[0] == 'C') &&
                          windowsPath[1] == ':' &&
                          (windowsPath[2] == '\\' || windowsPath[2] == '/');
    return onDriveC ? windowsPath + 3 : nullptr;
}

bool MapWindowsPath(const char* windowsPath, std::string& posixPath)
{
    if (windowsPath == nullptr || windowsPath[0] == '\0') {
        return false;
    }
    std::string rest = windowsPath;
    if (const char* onDriveC = DriveCRest(windowsPath)) {
        const std::string root = DriveCDirectory();
        if (root.empty()) {
            return false;
        }
        rest = root + "/" + onDriveC;
    }
    for (char& ch : rest) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    posixPath = rest;
    return true;
}

}  // namespace koru::posix
