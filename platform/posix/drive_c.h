// The directory that stands for "c:\" on Linux, and the files in it.
//
// It is found, made if missing and checked once per process, at the first
// open of a file on drive C, and then held open: every file is opened
// relative to it, so renaming or replacing the path under a running program
// changes nothing. It is used only if it belongs to the user, and it is
// made private (0700) if others could write in it, since someone who can
// add names there can plant a FIFO, a link or a file of theirs at the
// scratch file's name. Of the directories on the way only the cache ones
// are ever made ($XDG_CACHE_HOME, or .cache in a home that exists).
#pragma once

namespace koru::posix {

// Opens `name`, one name directly in the drive-C directory, with `flags`
// (open(2) flags; a new file is made 0600). Only a regular file with one
// link, belonging to the user, is handed out; the first open of a name is
// checked, later ones need not be, since nobody else can add a name to the
// directory. -1 if there is no usable directory or no fit file; where the
// user has to act, one line on stderr (once per process) says why.
int OpenDriveCFile(const char* name, int flags);

// Whether an open file is one the rule above lets us write.
bool FitForWriting(int fd);

// Says once, on stderr, that a write stopped short with `error` (a full
// disk, a file-size limit).
void SayWriteStoppedShort(int error) noexcept;

// For tests: closes the directory and forgets every check and every line
// said, as if the process had just started.
void ForgetDriveC();

}  // namespace koru::posix
