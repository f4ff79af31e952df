#include "file_path.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace koru::posix {

std::string DriveCDirectory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    // The XDG rules ignore a relative value.
    if (cache != nullptr && cache[0] == '/') {
        return std::string(cache) + "/koru-bench";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') {
        const passwd* entry = getpwuid(getuid());
        home = entry != nullptr ? entry->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] != '/') {
        return {};
    }
    return std::string(home) + "/.cache/koru-bench";
}

bool MapWindowsPath(const char* windowsPath, std::string& posixPath)
{
    if (windowsPath == nullptr || windowsPath[0] == '\0') {
        return false;
    }
    std::string rest = windowsPath;
    const bool onDriveC =
        (rest[0] == 'c' || rest[0] == 'C') && rest.size() >= 3 && rest[1] == ':' &&
        (rest[2] == '\\' || rest[2] == '/');
    if (onDriveC) {
        const std::string root = DriveCDirectory();
        if (root.empty()) {
            return false;
        }
        rest = root + "/" + rest.substr(3);
    }
    for (char& ch : rest) {
        if (ch == '\\') {
            ch = '/';
        }
    }
    posixPath = rest;
    return true;
}

bool MakePrivateDirectories(const std::string& directory)
{
    for (std::size_t slash = directory.find('/', 1);; slash = directory.find('/', slash + 1)) {
        const std::string prefix = directory.substr(0, slash);
        if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
            return false;
        }
        if (slash == std::string::npos) {
            return true;
        }
    }
}

}  // namespace koru::posix
