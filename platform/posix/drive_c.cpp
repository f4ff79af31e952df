#include "drive_c.h"

#include "file_path.h"
#include "stderr_line.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace koru::posix {

namespace {

constexpr const char* CONSEQUENCE = "the SD figure will be 0";

struct DriveC {
    std::mutex lock;
    bool tried = false;
    int fd = -1;
    std::string path;
    std::string checkedName;  // found fit for writing; later opens are not checked again
    std::atomic<bool> saidDirectory{false};
    std::atomic<bool> saidFile{false};
    std::atomic<bool> saidShortWrite{false};
};

DriveC& TheDriveC()
{
    static DriveC* const driveC = new DriveC;  // never destroyed: the worker may outlive main
    return *driveC;
}

int OpenDirectory(const std::string& path)
{
    int fd;
    do {
        fd = open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    return fd;
}

const char* KindOf(mode_t mode)
{
    return S_ISLNK(mode)                   ? "it is a symbolic link"
           : S_ISFIFO(mode)                ? "it is a FIFO"
           : S_ISSOCK(mode)                ? "it is a socket"
           : S_ISCHR(mode) || S_ISBLK(mode) ? "it is a device"
           : S_ISDIR(mode)                 ? "it is a directory"
                                           : "it is not a regular file";
}

// May throw (no memory for the paths) before it has tried, so that it is
// tried again on the next open.
void FindDirectory(DriveC& driveC)
{
    DriveCPlace place;
    const bool found = FindDriveC(place);
    driveC.path = place.directory;
    driveC.tried = true;
    if (!found) {
        SayOnce(driveC.saidDirectory,
                "no scratch directory: neither XDG_CACHE_HOME nor HOME is an absolute path; %s",
                CONSEQUENCE);
        return;
    }
    const char* directory = place.directory.c_str();
    int fd = OpenDirectory(place.directory);
    if (fd < 0 && errno == ENOENT) {
        // mkdir makes no parents: a cache directory whose parent (the home)
        // is not there stays unmade.
        for (const std::string* level : {&place.cache, &place.directory}) {
            if (mkdir(level->c_str(), 0700) != 0 && errno != EEXIST) {
                SayOnce(driveC.saidDirectory, "cannot use the scratch directory %s: %s cannot be made: %s; %s",
                        directory, level->c_str(), std::strerror(errno), CONSEQUENCE);
                return;
            }
        }
        fd = OpenDirectory(place.directory);
    }
    if (fd < 0) {
        // A link to a directory fails as "not a directory": say what it is.
        const int error = errno;
        struct stat info;
        const bool seen = lstat(directory, &info) == 0;
        SayOnce(driveC.saidDirectory, "cannot use the scratch directory %s: %s; %s", directory,
                seen && S_ISLNK(info.st_mode)    ? "it is a symbolic link"
                : seen && !S_ISDIR(info.st_mode) ? "it is not a directory"
                                                 : std::strerror(error),
                CONSEQUENCE);
        return;
    }
    struct stat info;
    if (fstat(fd, &info) != 0) {
        SayOnce(driveC.saidDirectory, "cannot use the scratch directory %s: %s; %s", directory,
                std::strerror(errno), CONSEQUENCE);
        close(fd);
        return;
    }
    if (info.st_uid != geteuid()) {
        SayOnce(driveC.saidDirectory,
                "cannot use the scratch directory %s: it belongs to another user (uid %u); %s",
                directory, static_cast<unsigned>(info.st_uid), CONSEQUENCE);
        close(fd);
        return;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && fchmod(fd, 0700) != 0) {
        SayOnce(driveC.saidDirectory, "cannot use the scratch directory %s: cannot make it private: %s; %s",
                directory, std::strerror(errno), CONSEQUENCE);
        close(fd);
        return;
    }
    driveC.fd = fd;
}

// Why an opened file must not be written, or null if it may.
const char* Unfit(int fd, char (&reason)[64])
{
    struct stat info;
    if (fstat(fd, &info) != 0) {
        return std::strerror(errno);
    }
    if (!S_ISREG(info.st_mode)) {
        return KindOf(info.st_mode);
    }
    if (info.st_nlink != 1) {
        // Writing it would overwrite the data of its other names.
        std::snprintf(reason, sizeof reason, "it has %lu hard links",
                      static_cast<unsigned long>(info.st_nlink));
        return reason;
    }
    if (info.st_uid != geteuid()) {
        std::snprintf(reason, sizeof reason, "it belongs to another user (uid %u)",
                      static_cast<unsigned>(info.st_uid));
        return reason;
    }
    return nullptr;
}

// Whether an open that failed with `error` will fail again until the user
// acts; running out of space, descriptors or memory may pass, and a lock
// means another instance is writing the file.
bool Lasting(int error)
{
    return error != ENOSPC && error != EDQUOT && error != EMFILE && error != ENFILE &&
           error != ENOMEM && error != EWOULDBLOCK && error != EINTR;
}

}  // namespace

bool FitForWriting(int fd)
{
    char buffer[64];
    return Unfit(fd, buffer) == nullptr;
}

int OpenDriveCFile(const char* name, int flags)
{
    if (name == nullptr || name[0] == '\0' || std::strpbrk(name, "/\\") != nullptr ||
        std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) {
        return -1;  // files in the directory itself only
    }
    DriveC& driveC = TheDriveC();
    const std::lock_guard<std::mutex> hold(driveC.lock);
    if (!driveC.tried) {
        FindDirectory(driveC);
    }
    if (driveC.fd < 0) {
        return -1;
    }
    const bool checked = driveC.checkedName == name;
    int fd;
    do {
        fd = openat(driveC.fd, name, flags, 0600);
    } while (fd < 0 && errno == EINTR);
    if (checked) {
        return fd;
    }
    char buffer[64];
    const char* why = nullptr;
    if (fd < 0) {
        const int error = errno;
        struct stat info;
        if (!Lasting(error)) {
            return -1;
        }
        // A FIFO without a reader and a socket fail with ENXIO, a link with
        // ELOOP: say what is there rather than the error's name.
        why = fstatat(driveC.fd, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && !S_ISREG(info.st_mode)
                  ? KindOf(info.st_mode)
                  : std::strerror(error);
    } else if ((why = Unfit(fd, buffer)) != nullptr) {
        close(fd);
        fd = -1;
    } else {
        try {
            driveC.checkedName = name;
        } catch (...) {
            // Not remembered: the next open is checked again.
        }
        return fd;
    }
    SayOnce(driveC.saidFile, "cannot write the scratch file %s/%s: %s; %s", driveC.path.c_str(),
            name, why, CONSEQUENCE);
    return -1;
}

void SayWriteStoppedShort(int error) noexcept
try {
    SayOnce(TheDriveC().saidShortWrite,
            "a write to the scratch file stopped short: %s; the SD figure counts whole writes only",
            std::strerror(error));
} catch (...) {
    // Not a word: no memory even for the record of what was said.
}

void ForgetDriveC()
{
    DriveC& driveC = TheDriveC();
    const std::lock_guard<std::mutex> hold(driveC.lock);
    if (driveC.fd >= 0) {
        close(driveC.fd);
    }
    driveC.tried = false;
    driveC.fd = -1;
    driveC.path.clear();
    driveC.checkedName.clear();
    driveC.saidDirectory = false;
    driveC.saidFile = false;
    driveC.saidShortWrite = false;
}

}  // namespace koru::posix
